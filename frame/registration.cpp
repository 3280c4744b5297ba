// Registration of the class and its type library, and the two entry points.
// The registry functions are the platform's, or the stand-in's with the same
// names and behaviour.
#include "frame/registration.h"

#include "frame/iserver.h"
#include "frame/registry_key.h"

#include <new>
#include <string>

namespace orvanta::registration {
namespace {

HRESULT from_registry(LSTATUS status) noexcept
{
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
}

PathText widened(std::string_view ascii) { return PathText(ascii.begin(), ascii.end()); }

HRESULT write_entry(const ClassEntry& entry, const PathText& module_path)
{
    RegistryKey key;
    LSTATUS status =
        RegCreateKeyExW(HKEY_CLASSES_ROOT, key_path(entry.tree, entry.subkey).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS || entry.source == Source::None) return from_registry(status);
    const PathText text = entry.source == Source::ModulePath ? module_path : widened(entry.text);
    const PathText value_name = entry.value_name ? widened(entry.value_name) : PathText();
    status = RegSetValueExW(key.get(), entry.value_name ? value_name.c_str() : nullptr, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(OLECHAR)));
    return from_registry(status);
}

PathText hex(unsigned n)
{
    PathText digits;
    do digits.insert(digits.begin(), static_cast<OLECHAR>("0123456789abcdef"[n % 16]));
    while (n /= 16);
    return digits;
}

// The library's path key, present while it is registered for this build.
PathText library_path_key()
{
    return widened("TypeLib\\") + widened(identity::kLibraryId) + widened("\\") +
           hex(kLibraryMajor) + widened(".") + hex(kLibraryMinor) + widened("\\") +
           hex(kLibraryLocale) + widened(kLibrarySysKind == SYS_WIN64 ? "\\win64" : "\\win32");
}

HRESULT unregister_type_library()
{
    // The platform fails to unregister a library that is not registered, so
    // look first: absent is already done.
    RegistryKey key;
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

}  // namespace

PathText key_path(Tree tree, std::string_view subkey)
{
    const PathText root = tree == Tree::Class ? widened("CLSID\\") + widened(identity::kClassId)
                                              : widened(identity::kProgramId);
    return root + widened(subkey);
}

HRESULT register_server() noexcept
try {
    PathText module_path;
    HRESULT hr = module_file_name(module_path);
    if (FAILED(hr)) return hr;
    hr = register_type_library(module_path);
    if (FAILED(hr)) return hr;
    for (const ClassEntry& entry : kClassEntries) {
        hr = write_entry(entry, module_path);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
} catch (const std::bad_alloc&) {
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
