#include "frame/dispatch_support.h"

#include "runtime/late_binding.h"

namespace orvanta {

HRESULT report_exception(HRESULT status, EXCEPINFO* info) noexcept
{
    if (!info) return status;
    // The texts belong to this call only when the record holds its error.
    const ErrorRecord& record = error_record();
    const bool described = record.number == status;
    return rt::describe_exception(info, status, described ? error_source() : nullptr,
                                  described ? record.description : nullptr);
}

}  // namespace orvanta
