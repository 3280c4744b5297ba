// Late binding for script clients. The collection carries no type
// information, so its members are described here, once, and the description
// drives lookup, checks and calls.
#include "collection_impl.h"

#include "late_binding.h"

#include <cstdint>
#include <iterator>

namespace rt::coll {

namespace {

// A late-bound call's arguments, first to last (they arrive last first); an
// absent one is null, which the operations take as an omitted optional
// argument.
struct Arguments {
    DISPPARAMS* params;
    VARIANT* operator[](UINT n) const noexcept
    {
        return n < params->cArgs ? &params->rgvarg[params->cArgs - 1 - n] : nullptr;
    }
};

HRESULT call_item(Collection& c, const Arguments& arg, VARIANT* result) noexcept
{
    VARIANT value;
    const HRESULT hr = c.Item(arg[0], &value);
    if (result)
        *result = value;  // hands the copy over
    else
        VariantClear(&value);
    return hr;
}

HRESULT call_add(Collection& c, const Arguments& arg, VARIANT*) noexcept
{
    return c.Add(arg[0], arg[1], arg[2], arg[3]);
}

HRESULT call_count(Collection& c, const Arguments&, VARIANT* result) noexcept
{
    if (!result) return S_OK;
    result->vt = VT_I4;
    return c.Count(&result->lVal);
}

HRESULT call_remove(Collection& c, const Arguments& arg, VARIANT*) noexcept
{
    return c.Remove(arg[0]);
}

HRESULT call_new_enum(Collection& c, const Arguments&, VARIANT* result) noexcept
{
    ComPtr<IUnknown> enumerator;
    const HRESULT hr = c._NewEnum(enumerator.put());
    if (SUCCEEDED(hr) && result) {
        result->vt = VT_UNKNOWN;
        result->punkVal = enumerator.detach();
    }
    return hr;
}

// The collection's members; each description drives name lookup, the checks
// before invocation and the call itself.
struct Member {
    const char* name;
    DISPID id;
    WORD calls;  // DISPATCH_METHOD and/or DISPATCH_PROPERTYGET
    UINT fewest_args;
    UINT most_args;
    HRESULT (*call)(Collection&, const Arguments&, VARIANT* result) noexcept;
};

constexpr WORD kGetOrCall = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

constexpr Member kMembers[] = {
    {"Item", DISPID_VALUE, kGetOrCall, 1, 1, call_item},  // the default member
    {"Add", 1, DISPATCH_METHOD, 1, 4, call_add},
    {"Count", 2, kGetOrCall, 0, 0, call_count},
    {"Remove", 3, DISPATCH_METHOD, 1, 1, call_remove},
    {"_NewEnum", DISPID_NEWENUM, kGetOrCall, 0, 0, call_new_enum},
};

const Member* member_with(DISPID id) noexcept
{
    for (const Member& m : kMembers)
        if (m.id == id) return &m;
    return nullptr;
}

// The automation runtime's own wording, which script users will recognise.
const OLECHAR* description_of(HRESULT code) noexcept
{
    switch (code) {
    case kCollInvalidArgument: return OLESTR("Invalid procedure call or argument");
    case kCollOutOfRange: return OLESTR("Subscript out of range");
    case kCollTypeMismatch: return OLESTR("Type mismatch");
    case kCollDuplicateKey:
        return OLESTR("This key is already associated with an element of this collection");
    case E_OUTOFMEMORY: return OLESTR("Out of memory");
    default: return OLESTR("Collection error");
    }
}

}  // namespace

HRESULT Collection::GetTypeInfoCount(UINT* count)
{
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

// With a count of 0 no index names type information, and the platform's
// answer for an index without an element is TYPE_E_ELEMENTNOTFOUND.
HRESULT Collection::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (!info) return E_POINTER;
    *info = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT Collection::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return ids_of_names(kMembers, std::size(kMembers), names, count, ids);
}

HRESULT Collection::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* arg_error)
{
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (const HRESULT hr = check_argument_block(params); FAILED(hr)) return hr;
    const Member* m = member_with(id);
    if (!m) return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) || !(flags & m->calls))
        return DISP_E_MEMBERNOTFOUND;
    const UINT given = params->cArgs;
    if (given < m->fewest_args || given > m->most_args) return DISP_E_BADPARAMCOUNT;

    const Arguments arg{params};
    if (m->fewest_args == 1 && is_omitted(*arg[0])) {
        if (arg_error) *arg_error = given - 1;
        return DISP_E_PARAMNOTOPTIONAL;
    }
    if (result) VariantInit(result);
    const HRESULT hr = m->call(*this, arg, result);
    // An operation's failure reaches a late-bound client as an exception, as
    // for the class's own faces; a client that passes no EXCEPINFO still
    // learns which error it was from the status.
    if (FAILED(hr) && exception)
        return describe_exception(exception, hr, OLESTR("Collection"), description_of(hr));
    return hr;
}

}  // namespace rt::coll
