// Registration of the class and its type library, and the two entry points.
// The registry functions are the platform's, or the stand-in's with the same
// names and behaviour.
#include "frame/registration.h"

#include "frame/iserver.h"
#include "runtime/registry_key.h"
#include "runtime/late_binding.h"

#include <iterator>
#include <new>
#include <string>

namespace orvanta::registration {
namespace {

HRESULT from_registry(LSTATUS status) noexcept
{
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
}

PathText widened(std::string_view ascii) { return PathText(ascii.begin(), ascii.end()); }

PathText hex(unsigned n)
{
    PathText digits;
    do digits.insert(digits.begin(), static_cast<OLECHAR>("0123456789abcdef"[n % 16]));
    while (n /= 16);
    return digits;
}

PathText library_version() { return hex(kLibraryMajor) + widened(".") + hex(kLibraryMinor); }

HRESULT write_entry(const ClassEntry& entry, const PathText& module_path)
{
    rt::RegistryKey key;
    LSTATUS status =
        RegCreateKeyExW(HKEY_CLASSES_ROOT, key_path(entry.tree, entry.subkey).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS || entry.source == Source::None) return from_registry(status);
    const PathText text = entry.source == Source::ModulePath       ? module_path
                          : entry.source == Source::LibraryVersion ? library_version()
                                                                   : widened(entry.text);
    const PathText value_name = entry.value_name ? widened(entry.value_name) : PathText();
    status = RegSetValueExW(key.get(), entry.value_name ? value_name.c_str() : nullptr, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(OLECHAR)));
    return from_registry(status);
}

// "TypeLib\{library}\<major>.<minor>"
PathText library_version_key()
{
    return widened("TypeLib\\") + widened(identity::kLibraryId) + widened("\\") + library_version();
}

// The library's path key, present while it is registered for this build.
PathText library_path_key()
{
    return library_version_key() + widened("\\") + hex(kLibraryLocale) +
           widened(kLibrarySysKind == SYS_WIN64 ? "\\win64" : "\\win32");
}

HRESULT unregister_type_library()
{
    // The platform fails to unregister a library that is not registered, so
    // look first: absent is already done.
    rt::RegistryKey key;
    const LSTATUS status =
        RegOpenKeyExW(HKEY_CLASSES_ROOT, library_path_key().c_str(), 0, KEY_QUERY_VALUE, key.put());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    if (status != ERROR_SUCCESS) return from_registry(status);
    key.reset();
    // Only "not registered" means nothing is left to remove; any other
    // failure (a key that could not be removed, a file that could not be
    // read) leaves the library registered.
    const HRESULT hr = UnRegisterTypeLib(LIBID_TivOrvantaZNA100, kLibraryMajor, kLibraryMinor,
                                         kLibraryLocale, kLibrarySysKind);
    return hr == TYPE_E_LIBNOTREGISTERED ? S_OK : hr;
}

// Whether the library's version key holds nothing but its FLAGS and HELPDIR,
// that is: no locale of any system kind is registered under it.
bool library_version_unused(const PathText& version_key)
{
    rt::RegistryKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, version_key.c_str(), 0, KEY_ENUMERATE_SUB_KEYS,
                      key.put()) != ERROR_SUCCESS)
        return false;
    OLECHAR name[16];
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(std::size(name));
        const LSTATUS status =
            RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return true;
        if (status != ERROR_SUCCESS) return false;  // a longer name is no FLAGS or HELPDIR
        // Key names compare without regard to ASCII letter case.
        if (!rt::same_name(name, "FLAGS") && !rt::same_name(name, "HELPDIR")) return false;
    }
}

// What a registration that stopped part-way wrote, removed key by key: the
// platform cannot unregister a library whose keys it left incomplete. Keys
// another system kind's registration of the library still needs stay. Best
// effort: the caller reports the failure that stopped the registration.
void remove_partial_registration() noexcept
try {
    for (const Tree tree : {Tree::Class, Tree::ProgramId, Tree::Interface})
        RegDeleteTreeW(HKEY_CLASSES_ROOT, key_path(tree).c_str());
    const PathText version_key = library_version_key();
    RegDeleteKeyW(HKEY_CLASSES_ROOT, library_path_key().c_str());
    // Refused while another system kind is registered under the locale.
    RegDeleteKeyW(HKEY_CLASSES_ROOT, (version_key + widened("\\") + hex(kLibraryLocale)).c_str());
    if (!library_version_unused(version_key)) return;
    RegDeleteTreeW(HKEY_CLASSES_ROOT, version_key.c_str());
    // Refused while another version of the library is registered.
    RegDeleteKeyW(HKEY_CLASSES_ROOT,
                  (widened("TypeLib\\") + widened(identity::kLibraryId)).c_str());
} catch (const std::bad_alloc&) {
}

HRESULT register_everything(const PathText& module_path)
{
    // The first failure ends it.
    HRESULT hr = register_type_library(module_path);
    for (const ClassEntry& entry : kInterfaceEntries)
        if (SUCCEEDED(hr)) hr = write_entry(entry, module_path);
    for (const ClassEntry& entry : kClassEntries)
        if (SUCCEEDED(hr)) hr = write_entry(entry, module_path);
    return hr;
}

}  // namespace

PathText key_path(Tree tree, std::string_view subkey)
{
    const PathText root = tree == Tree::Class ? widened("CLSID\\") + widened(identity::kClassId)
                          : tree == Tree::Interface
                              ? widened("Interface\\") + widened(identity::kDefaultInterfaceId)
                              : widened(identity::kProgramId);
    return root + widened(subkey);
}

HRESULT register_server() noexcept
try {
    PathText module_path;
    HRESULT hr = module_file_name(module_path);
    if (FAILED(hr)) return hr;
    hr = register_everything(module_path);
    if (FAILED(hr)) remove_partial_registration();
    return hr;
} catch (const std::bad_alloc&) {
    remove_partial_registration();
    return E_OUTOFMEMORY;
}

HRESULT unregister_server() noexcept
try {
    for (const Tree tree : kClassTrees) {
        const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key_path(tree).c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return from_registry(status);
    }
    return unregister_type_library();
} catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
}

}  // namespace orvanta::registration

STDAPI DllRegisterServer() { return orvanta::registration::register_server(); }

STDAPI DllUnregisterServer() { return orvanta::registration::unregister_server(); }
