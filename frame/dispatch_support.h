// Pieces of late binding shared by the class's faces.
#pragma once

#include "frame/error_record.h"
#include "runtime/automation.h"

namespace orvanta {

// Describes the error that ended an operation for a late-bound caller: the
// platform's convention is DISP_E_EXCEPTION with the status in EXCEPINFO.
// Without an EXCEPINFO the status itself is returned.
HRESULT report_exception(HRESULT status, EXCEPINFO* info) noexcept;

}  // namespace orvanta
