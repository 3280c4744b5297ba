#include "frame/dispatch_support.h"

namespace orvanta {

bool same_name(const OLECHAR* name, const char* ascii) noexcept
{
    auto fold = [](unsigned c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
    for (;; ++name, ++ascii) {
        const unsigned a = static_cast<unsigned>(*name);
        const unsigned b = static_cast<unsigned char>(*ascii);
        if (fold(a) != fold(b)) return false;
        if (b == 0) return true;
    }
}

HRESULT unknown_names(UINT count, DISPID* ids) noexcept
{
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT report_exception(HRESULT status, EXCEPINFO* info) noexcept
{
    if (!info) return status;
    *info = EXCEPINFO{};
    info->scode = status;
    const ErrorRecord& record = error_record();
    if (record.number == status) {
        info->bstrSource = SysAllocString(error_source());
        info->bstrDescription = SysAllocString(record.description);
    }
    return DISP_E_EXCEPTION;
}

}  // namespace orvanta
