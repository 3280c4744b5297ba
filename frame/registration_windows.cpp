// Registering the module's type library on Windows: the library embedded in
// the module file as resource TYPELIB 1, through the platform.
#ifdef _WIN32
#  include "frame/registration.h"

#  include "runtime/com_ptr.h"

#  include <new>

namespace orvanta::registration {

HRESULT register_type_library(const PathText& module_path) noexcept
{
    rt::ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(module_path.c_str(), REGKIND_NONE, library.put());
    if (FAILED(hr)) return hr;
    // The platform takes writable strings. An empty help directory, not
    // none: without one the platform may write the module's folder.
    try {
        PathText path = module_path;
        OLECHAR no_help_dir[] = L"";
        return RegisterTypeLib(library.get(), &path[0], no_help_dir);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace orvanta::registration
#endif
