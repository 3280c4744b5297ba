// What DllRegisterServer publishes in HKEY_CLASSES_ROOT: every key and every
// value, one list for the tests of every platform. Written out by hand from
// the module's registration data and the platform's type-library
// registration, independently of the module's own tables.
//
// Texts may hold placeholders, replaced by expand():
//   {module}    the module's full path, as the platform reports it
//   {syskind}   the system kind of the module's code: win32 or win64
//   {libflags}  the library flags the platform writes for the module's
//               library, which has none: "0". Wine also writes the flag its
//               loader adds to every library read from a file
//               (LIBFLAG_FHASDISKIMAGE): "8".
#pragma once

#include <string>

namespace expected_registry {

struct Entry {
    const char* key;         // below HKEY_CLASSES_ROOT
    const char* value_name;  // "" for the key's default value; nullptr: the key alone
    const char* data;        // a REG_SZ text; nullptr with value_name nullptr
};

#define EXPECTED_CLSID "{68A285B0-5582-4720-A801-BFCEF626BBD6}"
#define EXPECTED_LIBID "{CC0FE54A-F447-4D79-AD4D-90F94C59B003}"
#define EXPECTED_IID "{0190584F-0F1B-4C7F-87AD-8BD51D2E8B4E}"
#define EXPECTED_PROGID "TivOrvantaZNA100.CTivOrvantaZNA100"
#define EXPECTED_MARSHALER "{00020424-0000-0000-C000-000000000046}"

inline constexpr Entry kEntries[] = {
    // The class.
    {"CLSID\\" EXPECTED_CLSID, "", EXPECTED_PROGID},
    {"CLSID\\" EXPECTED_CLSID "\\InprocServer32", "", "{module}"},
    {"CLSID\\" EXPECTED_CLSID "\\InprocServer32", "ThreadingModel", "Apartment"},
    {"CLSID\\" EXPECTED_CLSID "\\ProgID", "", EXPECTED_PROGID},
    {"CLSID\\" EXPECTED_CLSID "\\Programmable", nullptr, nullptr},
    {"CLSID\\" EXPECTED_CLSID "\\TypeLib", "", EXPECTED_LIBID},
    {"CLSID\\" EXPECTED_CLSID "\\VERSION", "", "1.0"},
    // Its program identifier.
    {EXPECTED_PROGID, nullptr, nullptr},
    {EXPECTED_PROGID "\\CLSID", "", EXPECTED_CLSID},
    // The type library.
    {"TypeLib\\" EXPECTED_LIBID, nullptr, nullptr},
    {"TypeLib\\" EXPECTED_LIBID "\\1.0", "", "TivOrvantaZNA100"},
    {"TypeLib\\" EXPECTED_LIBID "\\1.0\\0", nullptr, nullptr},
    {"TypeLib\\" EXPECTED_LIBID "\\1.0\\0\\{syskind}", "", "{module}"},
    {"TypeLib\\" EXPECTED_LIBID "\\1.0\\FLAGS", "", "{libflags}"},
    {"TypeLib\\" EXPECTED_LIBID "\\1.0\\HELPDIR", "", ""},
    // The library's dual interface, registered with it.
    {"Interface\\" EXPECTED_IID, "", "_CTivOrvantaZNA100"},
    {"Interface\\" EXPECTED_IID "\\ProxyStubClsid", "", EXPECTED_MARSHALER},
    {"Interface\\" EXPECTED_IID "\\ProxyStubClsid32", "", EXPECTED_MARSHALER},
    {"Interface\\" EXPECTED_IID "\\TypeLib", "", EXPECTED_LIBID},
    {"Interface\\" EXPECTED_IID "\\TypeLib", "Version", "1.0"},
};

// The key trees that hold all of the above: registration changes nothing
// outside them, and unregistration removes them whole.
inline constexpr const char* kTrees[] = {
    "CLSID\\" EXPECTED_CLSID,
    EXPECTED_PROGID,
    "TypeLib\\" EXPECTED_LIBID,
    "Interface\\" EXPECTED_IID,
};

// The host's library TivDefn and its IServer: the host's own entries, which
// neither registration nor unregistration touches.
inline constexpr const char* kHostTrees[] = {
    "TypeLib\\{A966A13A-FD2F-11D2-BF83-00C04F794409}",
    "Interface\\{89078C47-AB89-11D3-B1BC-00C04F794409}",
};

#undef EXPECTED_CLSID
#undef EXPECTED_LIBID
#undef EXPECTED_IID
#undef EXPECTED_PROGID
#undef EXPECTED_MARSHALER

struct Substitutions {
    std::string module;    // UTF-8
    std::string syskind;   // "win32" or "win64"
    std::string libflags;  // "0", or "8" under Wine
};

// `text` with its placeholders replaced.
inline std::string expand(const char* text, const Substitutions& s)
{
    std::string out = text;
    const std::pair<const char*, const std::string*> fields[] = {
        {"{module}", &s.module}, {"{syskind}", &s.syskind}, {"{libflags}", &s.libflags}};
    for (const auto& [name, value] : fields) {
        const std::string token = name;
        for (std::size_t at = out.find(token); at != std::string::npos;
             at = out.find(token, at + value->size()))
            out.replace(at, token.size(), *value);
    }
    return out;
}

}  // namespace expected_registry
