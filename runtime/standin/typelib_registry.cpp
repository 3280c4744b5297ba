// Registration of type libraries in the stand-in registry, key for key as the
// platform writes and removes them.
#include "runtime/standin/typelib_registry.h"

#include "runtime/late_binding.h"
#include "runtime/raised_error.h"
#include "runtime/registry_key.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

const OLECHAR kTypeLibMarshaler[] = u"{00020424-0000-0000-C000-000000000046}";

std::u16string guid_text(REFGUID g)
{
    OLECHAR buffer[39];
    StringFromGUID2(g, buffer, 39);
    return buffer;
}

// Versions and locales in hexadecimal, flags in decimal, as the platform
// writes them.
std::u16string number(unsigned long n, unsigned base = 16)
{
    std::u16string out;
    do {
        out.insert(out.begin(), u"0123456789abcdef"[n % base]);
        n /= base;
    } while (n);
    return out;
}

const char16_t* syskind_name(SYSKIND k)
{
    switch (k) {
    case SYS_WIN16: return u"win16";
    case SYS_WIN32: return u"win32";
    case SYS_WIN64: return u"win64";
    default: return nullptr;
    }
}

// The stand-in's type-library "files": the interfaces each library registered
// in this process declares, by the path it was registered with. The platform
// reads them from the file itself when it unregisters the library.
struct LoadedLibraries {
    std::mutex lock;
    std::map<std::u16string, std::vector<GUID>> interfaces_by_path;
};

LoadedLibraries& loaded_libraries()
{
    static LoadedLibraries libraries;
    return libraries;
}

void remember(const TypeLibEntries& lib, const OLECHAR* path)
{
    std::vector<GUID> iids;
    for (UINT i = 0; i < lib.interface_count; ++i) iids.push_back(lib.interfaces[i].iid);
    LoadedLibraries& l = loaded_libraries();
    std::lock_guard<std::mutex> hold(l.lock);
    l.interfaces_by_path[path] = iids;
}

bool interfaces_of(const std::u16string& path, std::vector<GUID>& iids)
{
    LoadedLibraries& l = loaded_libraries();
    std::lock_guard<std::mutex> hold(l.lock);
    auto it = l.interfaces_by_path.find(path);
    if (it == l.interfaces_by_path.end()) return false;
    iids = it->second;
    return true;
}

// "<major>.<minor>"
std::u16string version(WORD major, WORD minor) { return number(major) + u'.' + number(minor); }

using Key = rt::RegistryKey;

LSTATUS set_text(HKEY key, const OLECHAR* name, const std::u16string& text)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(OLECHAR)));
}

LSTATUS create(HKEY parent, const std::u16string& sub, Key& out, DWORD* disposition = nullptr)
{
    return RegCreateKeyExW(parent, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                           nullptr, out.put(), disposition);
}

// A key with its default value; the first failure.
LSTATUS create_with_text(HKEY parent, const std::u16string& sub, const std::u16string& text)
{
    Key key;
    const LSTATUS status = create(parent, sub, key);
    return status ? status : set_text(key.get(), nullptr, text);
}

LSTATUS remove(const std::u16string& sub) { return RegDeleteKeyW(HKEY_CLASSES_ROOT, sub.c_str()); }

// The default value of a key as text, or false when it has none.
bool read_text(HKEY parent, const std::u16string& sub, const OLECHAR* name, std::u16string& out)
{
    Key key;
    if (RegOpenKeyExW(parent, sub.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    std::vector<OLECHAR> buffer(size / sizeof(OLECHAR) + 1, 0);
    if (RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS)
        return false;
    out.assign(buffer.data());
    return true;
}

// The library's keys. Any failure is the platform's registry-access status.
HRESULT register_library(const TypeLibEntries& lib, const OLECHAR* path, const OLECHAR* help_dir)
{
    const TLIBATTR& a = lib.attributes;
    Key key;
    if (create(HKEY_CLASSES_ROOT,
               u"TypeLib\\" + guid_text(a.guid) + u'\\' + version(a.wMajorVerNum, a.wMinorVerNum),
               key) ||
        set_text(key.get(), nullptr, lib.name ? lib.name : u"") ||
        create_with_text(key.get(), number(a.lcid) + u'\\' + syskind_name(a.syskind), path) ||
        create_with_text(key.get(), u"FLAGS", number(a.wLibFlags, 10)))
        return TYPE_E_REGISTRYACCESS;

    Key help;
    DWORD disposition = 0;
    if (create(key.get(), u"HELPDIR", help, &disposition)) return TYPE_E_REGISTRYACCESS;
    std::u16string dir;
    if (help_dir) {
        dir = help_dir;
    } else if (disposition == REG_CREATED_NEW_KEY) {
        dir = path;
        const std::size_t slash = dir.find_last_of(u"\\/");
        if (slash != std::u16string::npos) dir.erase(slash);
    } else {
        return S_OK;
    }
    return set_text(help.get(), nullptr, dir) ? TYPE_E_REGISTRYACCESS : S_OK;
}

// One interface's keys. The platform ignores failures here, and so does this.
void register_interface(const TypeLibEntries& lib, const RegisteredInterface& itf)
{
    Key key;
    if (create(HKEY_CLASSES_ROOT, u"Interface\\" + guid_text(itf.iid), key)) return;
    if (itf.name) set_text(key.get(), nullptr, itf.name);
    create_with_text(key.get(), u"ProxyStubClsid", kTypeLibMarshaler);
    create_with_text(key.get(), u"ProxyStubClsid32", kTypeLibMarshaler);
    Key typelib;
    if (!create(key.get(), u"TypeLib", typelib)) {
        set_text(typelib.get(), nullptr, guid_text(lib.attributes.guid));
        set_text(typelib.get(), u"Version",
                 version(lib.attributes.wMajorVerNum, lib.attributes.wMinorVerNum));
    }
}

// The names of a key's direct subkeys.
std::vector<std::u16string> subkeys_of(HKEY parent, const std::u16string& sub)
{
    std::vector<std::u16string> names;
    Key key;
    if (RegOpenKeyExW(parent, sub.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.put()) != ERROR_SUCCESS)
        return names;
    OLECHAR name[256];
    for (DWORD i = 0;; ++i) {
        DWORD count = 256;
        if (RegEnumKeyExW(key.get(), i, name, &count, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, count);
    }
    return names;
}

}  // namespace

extern "C" {

int StringFromGUID2(REFGUID g, LPOLESTR out, int cchMax)
{
    if (!out || cchMax < 39) return 0;
    // The sixteen bytes in the order they are written, eight to a word.
    uint64_t words[2] = {uint64_t{g.Data1} << 32 | uint32_t{g.Data2} << 16 | g.Data3, 0};
    for (const uint8_t byte : g.Data4) words[1] = words[1] << 8 | byte;
    const char16_t form[] = u"{........-....-....-....-............}";
    for (int i = 0, digit = 0; i < 39; ++i) {
        out[i] = form[i];
        if (form[i] != u'.') continue;
        out[i] = u"0123456789ABCDEF"[words[digit / 16] >> (60 - 4 * (digit % 16)) & 0xF];
        ++digit;
    }
    return 39;
}

HRESULT RegisterTypeLibEntries(const TypeLibEntries* lib, const OLECHAR* szFullPath,
                               const OLECHAR* szHelpDir)
{
    return rt::status_of([&] {
        if (!lib || !szFullPath || !syskind_name(lib->attributes.syskind)) return E_INVALIDARG;
        const HRESULT hr = register_library(*lib, szFullPath, szHelpDir);
        if (FAILED(hr)) return hr;
        remember(*lib, szFullPath);
        for (UINT i = 0; i < lib->interface_count; ++i)
            register_interface(*lib, lib->interfaces[i]);
        return S_OK;
    });
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind)
{
    return rt::status_of([&] {
        const char16_t* kind = syskind_name(syskind);
        if (!kind) return E_INVALIDARG;
        const std::u16string library = u"TypeLib\\" + guid_text(libID);
        const std::u16string version_key = library + u'\\' + version(wVerMajor, wVerMinor);
        const std::u16string locale_key = version_key + u'\\' + number(lcid);
        const std::u16string path_key = locale_key + u'\\' + kind;
        std::u16string path;
        if (!read_text(HKEY_CLASSES_ROOT, path_key, nullptr, path)) return E_INVALIDARG;

        // The platform loads the registered file and removes the keys of every
        // interface it declares. A library this process did not register cannot
        // be read, as a missing file cannot.
        std::vector<GUID> iids;
        if (!interfaces_of(path, iids)) return TYPE_E_INVALIDSTATE;
        for (const GUID& iid : iids) {
            const std::u16string itf = u"Interface\\" + guid_text(iid);
            for (const char16_t* sub :
                 {u"\\ProxyStubClsid", u"\\ProxyStubClsid32", u"\\TypeLib", u""})
                remove(itf + sub);
        }

        // The path key, then its locale key if that is now empty. A path key that
        // stays leaves the library registered, which the caller must hear of.
        if (remove(path_key) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
        remove(locale_key);

        // The version key goes only when nothing but FLAGS and HELPDIR remains
        // (key names compare as member names do, in ASCII case only); the
        // identifier key only when no other version remains.
        for (const std::u16string& name : subkeys_of(HKEY_CLASSES_ROOT, version_key))
            if (!rt::same_name(name.c_str(), "FLAGS") && !rt::same_name(name.c_str(), "HELPDIR"))
                return S_OK;
        for (const char16_t* sub : {u"\\FLAGS", u"\\HELPDIR", u""}) remove(version_key + sub);
        remove(library);
        return S_OK;
    });
}

}  // extern "C"
