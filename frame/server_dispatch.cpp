// Late binding on both faces of the class.
#include "frame/error_record.h"
#include "frame/server_class.h"
#include "frame/server_members.h"
#include "frame/type_info.h"
#include "runtime/late_binding.h"
#include "runtime/variant.h"

#include <iterator>
#include <utility>

namespace orvanta {
namespace {

// A caller following the description passes what the face reads in and
// takes what it writes back; the platform's marshalling moves an argument
// only in the directions described. So an argument the face only reads may
// be described [in] or [in, out] (sent back unchanged), one it only writes
// [out] or [in, out], and the result must be [out, retval].
bool compatible(ParamDirection described, Use use) noexcept
{
    switch (use) {
    case Use::Read: return described == ParamDirection::In || described == ParamDirection::InOut;
    case Use::Written:
        return described == ParamDirection::Out || described == ParamDirection::InOut;
    case Use::Result: return described == ParamDirection::Result;
    }
    return false;
}

HostDispatch& host_dispatch_of(ServerFace* face) noexcept
{
    return static_cast<CTivOrvantaZNA100*>(face)->host_dispatch();
}

// A String: the caller's own variable when the argument is a string (by
// value or by reference), else a converted copy.
HRESULT bind_text(Argument& a, VARIANT* arg) noexcept
{
    if (arg->vt == (VT_BYREF | VT_VARIANT)) {
        if (!arg->pvarVal) return DISP_E_TYPEMISMATCH;
        arg = arg->pvarVal;
    }
    a.address = &a.text;
    if (arg->vt == (VT_BYREF | VT_BSTR)) {
        a.address = arg->pbstrVal;
        return arg->pbstrVal ? S_OK : DISP_E_TYPEMISMATCH;
    }
    if (arg->vt == VT_BSTR) {
        a.text = arg->bstrVal;
        return S_OK;
    }
    if (rt::is_omitted(*arg)) return DISP_E_PARAMNOTOPTIONAL;
    rt::Variant text;
    const HRESULT hr = VariantChangeType(text.put(), arg, 0, VT_BSTR);
    if (FAILED(hr)) return hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
    a.converted.reset(std::exchange(text->bstrVal, nullptr));
    text->vt = VT_EMPTY;
    a.text = a.converted.get();
    return S_OK;
}

// FamilyTotal: written back when passed by reference as a Boolean or a
// variant; passed by value it is accepted and the written value is dropped,
// as for any by-value argument.
HRESULT bind_flag(Argument& a, VARIANT* arg) noexcept
{
    a.address = &a.flag;
    switch (arg->vt) {
    case VT_BYREF | VT_BOOL:
        a.address = arg->pboolVal;
        return arg->pboolVal ? S_OK : DISP_E_TYPEMISMATCH;
    case VT_BYREF | VT_VARIANT:
        if (!arg->pvarVal) return DISP_E_TYPEMISMATCH;
        if (arg->pvarVal->vt == (VT_BYREF | VT_BOOL)) return bind_flag(a, arg->pvarVal);
        a.flag_variant = arg->pvarVal;
        return S_OK;
    case VT_EMPTY:
    case VT_BOOL:
    case VT_I2:
    case VT_I4:
    case VT_UI1:
    case VT_R4:
    case VT_R8: return S_OK;
    default: return DISP_E_TYPEMISMATCH;
    }
}

}  // namespace

HRESULT Argument::bind(ParamType type, VARIANT* arg) noexcept
{
    return type == ParamType::String ? bind_text(*this, arg) : bind_flag(*this, arg);
}

bool own_server_member(const DescribedMember& d) noexcept
{
    for (const ServerMemberInfo& m : kServerMembers) {
        if (!d.name || !rt::same_name(d.name, m.name)) continue;
        if (d.vtable_index != vtable_index_of(m.id) || d.property != m.property ||
            d.param_count != m.param_count)
            return false;
        for (UINT i = 0; i < m.param_count; ++i)
            if (d.params[i].type != m.params[i].type ||
                !compatible(d.params[i].direction, m.params[i].use))
                return false;
        return true;
    }
    return false;
}

// ---- the default face: a dispatch interface without members ----

HRESULT STDMETHODCALLTYPE DefaultFace::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                                     DISPID* ids)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return rt::ids_of_names(static_cast<const rt::NoMember*>(nullptr), 0, names, count, ids);
}

HRESULT STDMETHODCALLTYPE DefaultFace::Invoke(DISPID, REFIID riid, LCID, WORD, DISPPARAMS*,
                                              VARIANT*, EXCEPINFO*, UINT*)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return DISP_E_MEMBERNOTFOUND;
}

// ---- the IServer face ----

// Type information exactly when the host's description serves the face's
// names and calls. Without it the count is 0, and no index names anything:
// DISP_E_BADINDEX, as for any index beyond the count.
HRESULT STDMETHODCALLTYPE ServerFace::GetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo) return E_POINTER;
    *pctinfo = host_dispatch_of(this).serves() ? 1 : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ServerFace::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info) return E_POINTER;
    *info = nullptr;
    HostDispatch& host = host_dispatch_of(this);
    if (!host.serves() || index != 0) return DISP_E_BADINDEX;
    return host.type_info(info);
}

HRESULT STDMETHODCALLTYPE ServerFace::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                                    DISPID* ids)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    // No names, or no arrays, are refused by the table's lookup on either path.
    HostDispatch& host = host_dispatch_of(this);
    if (count != 0 && names && ids && host.serves()) return host.ids_of_names(names, count, ids);
    return rt::ids_of_names(kServerMembers, std::size(kServerMembers), names, count, ids);
}

HRESULT STDMETHODCALLTYPE ServerFace::Invoke(DISPID id, REFIID riid, LCID, WORD flags,
                                             DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                             UINT* arg_err)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (const HRESULT hr = rt::check_argument_block(params); FAILED(hr)) return hr;
    HostDispatch& host = host_dispatch_of(this);
    if (host.serves()) return host.invoke(this, id, flags, params, result, excep, arg_err);
    if (id < kFirstServerMember || id > kLastServerMember) return DISP_E_MEMBERNOTFOUND;
    const ServerMemberInfo& member = server_member(static_cast<ServerMember>(id));
    if (!(flags & (member.property ? DISPATCH_PROPERTYGET : DISPATCH_METHOD)))
        return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params->cArgs != member.arguments()) return DISP_E_BADPARAMCOUNT;

    // Arguments arrive last to first in rgvarg.
    Argument args[kMostParams - 1];
    for (UINT i = 0; i < member.arguments(); ++i) {
        const HRESULT hr =
            args[i].bind(member.params[i].type, &params->rgvarg[params->cArgs - 1 - i]);
        if (FAILED(hr)) {
            if (arg_err) *arg_err = params->cArgs - 1 - i;
            if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTOPTIONAL || !excep) return hr;
            // A conversion that found no memory: nothing of it is recorded.
            return rt::describe_exception(excep, hr, nullptr, nullptr);
        }
    }
    // A failed operation has recorded its error: a description is this call's.
    const HRESULT hr = member.invoke(this, args, result);
    if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTOPTIONAL) return hr;
    return FAILED(hr) ? report_exception(hr, excep) : hr;
}

}  // namespace orvanta
