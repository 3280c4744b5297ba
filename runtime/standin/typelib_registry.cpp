// Registration of type libraries in the stand-in registry, key for key as the
// platform writes and removes them.
#include "runtime/standin/typelib_registry.h"

#include "runtime/ascii_case.h"
#include "runtime/registry_key.h"

#include <algorithm>
#include <map>
#include <new>
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

std::u16string hex(unsigned long n)
{
    static const char16_t digits[] = u"0123456789abcdef";
    std::u16string out;
    do {
        out.insert(out.begin(), digits[n % 16]);
        n /= 16;
    } while (n);
    return out;
}

std::u16string decimal(unsigned long n)
{
    std::u16string out;
    do {
        out.insert(out.begin(), static_cast<char16_t>(u'0' + n % 10));
        n /= 10;
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

// "TypeLib\{libid}\<major>.<minor>"
std::u16string library_key(REFGUID libid, WORD major, WORD minor)
{
    return u"TypeLib\\" + guid_text(libid) + u'\\' + hex(major) + u'.' + hex(minor);
}

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

bool same_text(const std::u16string& a, const std::u16string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char16_t x, char16_t y) {
        return rt::ascii_upper(x) == rt::ascii_upper(y);
    });
}

// The library's keys. Any failure is the platform's registry-access status.
HRESULT register_library(const TypeLibEntries& lib, const OLECHAR* path, const OLECHAR* help_dir)
{
    const TLIBATTR& a = lib.attributes;
    Key key;
    if (create(HKEY_CLASSES_ROOT, library_key(a.guid, a.wMajorVerNum, a.wMinorVerNum), key) ||
        set_text(key.get(), nullptr, lib.name ? lib.name : u""))
        return TYPE_E_REGISTRYACCESS;

    Key path_key;
    if (create(key.get(), hex(a.lcid) + u'\\' + syskind_name(a.syskind), path_key) ||
        set_text(path_key.get(), nullptr, path))
        return TYPE_E_REGISTRYACCESS;

    Key flags;
    if (create(key.get(), u"FLAGS", flags) || set_text(flags.get(), nullptr, decimal(a.wLibFlags)))
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
    Key stub;
    if (!create(key.get(), u"ProxyStubClsid", stub))
        set_text(stub.get(), nullptr, kTypeLibMarshaler);
    Key stub32;
    if (!create(key.get(), u"ProxyStubClsid32", stub32))
        set_text(stub32.get(), nullptr, kTypeLibMarshaler);
    Key typelib;
    if (!create(key.get(), u"TypeLib", typelib)) {
        set_text(typelib.get(), nullptr, guid_text(lib.attributes.guid));
        set_text(typelib.get(), u"Version",
                 hex(lib.attributes.wMajorVerNum) + u'.' + hex(lib.attributes.wMinorVerNum));
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
    static const char16_t digits[] = u"0123456789ABCDEF";
    int n = 0;
    auto put_hex = [&](unsigned long long value, int width) {
        for (int shift = (width - 1) * 4; shift >= 0; shift -= 4)
            out[n++] = digits[(value >> shift) & 0xF];
    };
    out[n++] = u'{';
    put_hex(g.Data1, 8);
    out[n++] = u'-';
    put_hex(g.Data2, 4);
    out[n++] = u'-';
    put_hex(g.Data3, 4);
    out[n++] = u'-';
    put_hex(g.Data4[0], 2);
    put_hex(g.Data4[1], 2);
    out[n++] = u'-';
    for (int i = 2; i < 8; ++i) put_hex(g.Data4[i], 2);
    out[n++] = u'}';
    out[n++] = 0;
    return n;
}

}  // extern "C"

namespace {

HRESULT register_entries(const TypeLibEntries* lib, const OLECHAR* szFullPath,
                         const OLECHAR* szHelpDir)
{
    if (!lib || !szFullPath || !syskind_name(lib->attributes.syskind)) return E_INVALIDARG;
    const HRESULT hr = register_library(*lib, szFullPath, szHelpDir);
    if (FAILED(hr)) return hr;
    remember(*lib, szFullPath);
    for (UINT i = 0; i < lib->interface_count; ++i) register_interface(*lib, lib->interfaces[i]);
    return S_OK;
}

HRESULT unregister(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind)
{
    const char16_t* kind = syskind_name(syskind);
    if (!kind) return E_INVALIDARG;
    const std::u16string version_key = library_key(libID, wVerMajor, wVerMinor);
    const std::u16string locale = hex(lcid);
    const std::u16string path_key = version_key + u'\\' + locale + u'\\' + kind;
    std::u16string path;
    if (!read_text(HKEY_CLASSES_ROOT, path_key, nullptr, path)) return E_INVALIDARG;

    // The platform loads the registered file and removes the keys of every
    // interface it declares. A library this process did not register cannot
    // be read, as a missing file cannot.
    std::vector<GUID> iids;
    if (!interfaces_of(path, iids)) return TYPE_E_INVALIDSTATE;
    for (const GUID& iid : iids) {
        const std::u16string itf = u"Interface\\" + guid_text(iid);
        RegDeleteKeyW(HKEY_CLASSES_ROOT, (itf + u"\\ProxyStubClsid").c_str());
        RegDeleteKeyW(HKEY_CLASSES_ROOT, (itf + u"\\ProxyStubClsid32").c_str());
        RegDeleteKeyW(HKEY_CLASSES_ROOT, (itf + u"\\TypeLib").c_str());
        RegDeleteKeyW(HKEY_CLASSES_ROOT, itf.c_str());
    }

    // The path key, then its locale key if that is now empty. A path key that
    // stays leaves the library registered, which the caller must hear of.
    if (RegDeleteKeyW(HKEY_CLASSES_ROOT, path_key.c_str()) != ERROR_SUCCESS)
        return TYPE_E_REGISTRYACCESS;
    RegDeleteKeyW(HKEY_CLASSES_ROOT, (version_key + u'\\' + locale).c_str());

    // The version key goes only when nothing but FLAGS and HELPDIR remains;
    // the identifier key only when no other version remains.
    for (const std::u16string& name : subkeys_of(HKEY_CLASSES_ROOT, version_key))
        if (!same_text(name, u"FLAGS") && !same_text(name, u"HELPDIR")) return S_OK;
    RegDeleteKeyW(HKEY_CLASSES_ROOT, (version_key + u"\\FLAGS").c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, (version_key + u"\\HELPDIR").c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, version_key.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, (u"TypeLib\\" + guid_text(libID)).c_str());
    return S_OK;
}

}  // namespace

extern "C" {

HRESULT RegisterTypeLibEntries(const TypeLibEntries* lib, const OLECHAR* szFullPath,
                               const OLECHAR* szHelpDir)
{
    try {
        return register_entries(lib, szFullPath, szHelpDir);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind)
{
    try {
        return unregister(libID, wVerMajor, wVerMinor, lcid, syskind);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // extern "C"
