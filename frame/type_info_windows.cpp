// Type information of the class's two faces on Windows. The default face is
// described by the module's own library, embedded in the module file; IServer
// by the host's library TivDefn 34.2 as registered on the machine, which the
// IServer face hands out only once it has accepted it for late binding
// (frame/server_dispatch_host.h).
#ifdef _WIN32
#  include "frame/iserver.h"
#  include "frame/module_instance.h"
#  include "frame/type_info.h"
#  include "runtime/com_ptr.h"

namespace orvanta {
namespace {

HRESULT load_library(Face face, rt::ComPtr<ITypeLib>& library) noexcept
{
    if (face == Face::Server)
        return LoadRegTypeLib(LIBID_TivDefn, identity::kHostLibraryMajor,
                              identity::kHostLibraryMinor, 0, library.put());
    PathText module_path;
    const HRESULT hr = module_file_name(module_path);
    if (FAILED(hr)) return hr;
    return LoadTypeLibEx(module_path.c_str(), REGKIND_NONE, library.put());
}

}  // namespace

UINT default_type_info_count() noexcept { return 1; }

HRESULT face_type_info(Face face, UINT index, LCID, ITypeInfo** info) noexcept
{
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    rt::ComPtr<ITypeLib> library;
    const HRESULT hr = load_library(face, library);
    if (FAILED(hr)) return hr;
    return library->GetTypeInfoOfGuid(face == Face::Server ? IID_IServer : IID__CTivOrvantaZNA100,
                                      info);
}

}  // namespace orvanta
#endif
