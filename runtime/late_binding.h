// Late binding as every face of the module answers it: names, omitted
// arguments and the description of an exception.
#pragma once

#include "runtime/automation.h"

#include <cstddef>
#include <string_view>

namespace rt {

// Member names are ASCII and compare without regard to letter case, as
// late-bound names do.
bool same_name(const OLECHAR* name, std::string_view ascii) noexcept;

// An argument the caller left out: VT_ERROR with DISP_E_PARAMNOTFOUND.
inline bool is_omitted(const VARIANT& v) noexcept
{
    return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

// An Invoke's argument block, checked first and alike on every face that has
// members: none at all, or a count without its array, is E_INVALIDARG.
inline HRESULT check_argument_block(const DISPPARAMS* params) noexcept
{
    const bool unreadable = !params || (params->cArgs != 0 && !params->rgvarg) ||
                            (params->cNamedArgs != 0 && !params->rgdispidNamedArgs);
    return unreadable ? E_INVALIDARG : S_OK;
}

// GetIDsOfNames over a face's members (each with `name` and `id`; none for
// a face without members), after the caller has checked the interface
// identifier. The first name is a member's; the others would name its
// parameters, and arguments go by position only, so they stay DISPID_UNKNOWN.
// E_INVALIDARG for no names at all.
template <class Member>
HRESULT ids_of_names(const Member* members, std::size_t member_count, LPOLESTR* names, UINT count,
                     DISPID* ids) noexcept
{
    if (count == 0) return E_INVALIDARG;
    if (!names || !ids) return E_POINTER;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (std::size_t m = 0; m < member_count && names[0]; ++m) {
        if (same_name(names[0], members[m].name)) {
            ids[0] = members[m].id;
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

// The members of a face that has none.
struct NoMember {
    const char* name;
    DISPID id;
};

// Describes the error that ended a late-bound call in the caller's EXCEPINFO
// and answers DISP_E_EXCEPTION. The texts are a courtesy: without memory for
// them the status alone still tells the caller what failed.
HRESULT describe_exception(EXCEPINFO* info, HRESULT status, const OLECHAR* source,
                           const OLECHAR* description) noexcept;

}  // namespace rt
