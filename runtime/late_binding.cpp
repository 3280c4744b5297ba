#include "runtime/late_binding.h"

#include "runtime/ascii_case.h"

namespace rt {

bool same_name(const OLECHAR* name, std::string_view ascii) noexcept
{
    for (const char c : ascii) {
        if (*name == 0 ||
            ascii_upper(static_cast<unsigned>(*name)) != ascii_upper(static_cast<unsigned char>(c)))
            return false;
        ++name;
    }
    return *name == 0;
}

HRESULT describe_exception(EXCEPINFO* info, HRESULT status, const OLECHAR* source,
                           const OLECHAR* description) noexcept
{
    *info = EXCEPINFO{};
    info->scode = status;
    if (source) info->bstrSource = SysAllocString(source);
    if (description) info->bstrDescription = SysAllocString(description);
    return DISP_E_EXCEPTION;
}

}  // namespace rt
