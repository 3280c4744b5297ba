#ifndef _WIN32
#  include "frame/type_info.h"

namespace orvanta {

UINT default_type_info_count() noexcept { return 0; }

HRESULT face_type_info(Face, UINT, LCID, ITypeInfo** info) noexcept
{
    if (!info) return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
}

}  // namespace orvanta
#endif
