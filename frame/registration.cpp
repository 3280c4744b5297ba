// Registration of the class and its type library, and the two entry points.
// The registry functions are the platform's, or the stand-in's with the same
// names and behaviour.
#include "frame/registration.h"

#include "frame/iserver.h"
#include "frame/registry_key.h"

#include <string>

namespace orvanta::registration {
namespace {

HRESULT from_registry(LSTATUS status) noexcept
{
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
}

HRESULT write_entry(const ClassEntry& entry, const PathText& module_path) noexcept
{
    RegistryKey key;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, entry.key, 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS || entry.source == Source::None) return from_registry(status);
    const OLECHAR* text = entry.source == Source::ModulePath ? module_path.c_str() : entry.text;
    const std::size_t units = std::char_traits<OLECHAR>::length(text) + 1;
    status = RegSetValueExW(key.get(), entry.value_name, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text),
                            static_cast<DWORD>(units * sizeof(OLECHAR)));
    return from_registry(status);
}

HRESULT unregister_type_library() noexcept
{
    // The platform fails to unregister a library that is not registered, so
    // look first: absent is already done.
    RegistryKey key;
    const LSTATUS status =
        RegOpenKeyExW(HKEY_CLASSES_ROOT, kLibraryPathKey, 0, KEY_QUERY_VALUE, key.put());
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

HRESULT register_server() noexcept
{
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
}

HRESULT unregister_server() noexcept
{
    for (const OLECHAR* tree : kClassTrees) {
        const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, tree);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return from_registry(status);
    }
    return unregister_type_library();
}

}  // namespace orvanta::registration

STDAPI DllRegisterServer()
{
    return orvanta::registration::register_server();
}

STDAPI DllUnregisterServer()
{
    return orvanta::registration::unregister_server();
}
