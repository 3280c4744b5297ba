// Late binding on both faces of the class.
#include "frame/dispatch_arguments.h"
#include "frame/dispatch_support.h"
#include "frame/server_class.h"
#include "frame/type_info.h"
#include "runtime/late_binding.h"

#include <iterator>

namespace orvanta {
namespace {

const ServerMemberInfo* member_with_id(DISPID id) noexcept
{
    if (id < kFirstServerMember || id > kLastServerMember) return nullptr;
    return &server_member(static_cast<ServerMember>(id));
}

// Whether a member the host's library describes is the face's own, where
// the face has it.
bool own_member(const OLECHAR* name, int vtable_index, bool property, UINT arguments) noexcept
{
    for (const ServerMemberInfo& m : kServerMembers)
        if (name && rt::same_name(name, m.name))
            return vtable_index == vtable_index_of(m.id) && property == m.property &&
                   arguments == m.arguments();
    return false;
}

HostDispatch& host_dispatch_of(ServerFace* face) noexcept
{
    return static_cast<CTivOrvantaZNA100*>(face)->host_dispatch();
}

// Hands an operation's result to the late-bound caller, or drops it when the
// caller wants none.
void store_text(VARIANT* out, BSTR text) noexcept
{
    if (!out) return SysFreeString(text);
    out->vt = VT_BSTR;
    out->bstrVal = text;
}

void store_long(VARIANT* out, LONG value) noexcept
{
    if (!out) return;
    out->vt = VT_I4;
    out->lVal = value;
}

void store_collection(VARIANT* out, _Collection* list) noexcept
{
    if (!out) {
        if (list) list->Release();
        return;
    }
    out->vt = VT_DISPATCH;
    out->pdispVal = list;
}

// Arguments arrive last to first in rgvarg.
VARIANT* argument(DISPPARAMS* params, UINT position) noexcept
{
    return &params->rgvarg[params->cArgs - 1 - position];
}

HRESULT refuse_argument(HRESULT status, DISPPARAMS* params, UINT position, UINT* arg_err) noexcept
{
    if (arg_err) *arg_err = params->cArgs - 1 - position;
    return status;
}

// Binds the arguments the member's shape takes, calls its entry and hands
// the result over.
HRESULT call_member(IServer* server, const ServerMemberInfo& member, DISPPARAMS* params,
                    VARIANT* out, UINT* arg_err) noexcept
{
    StringArgument first;
    StringArgument second;
    BooleanOutArgument family_total;
    HRESULT hr = S_OK;
    if (member.arguments() >= 1 && FAILED(hr = first.bind(argument(params, 0))))
        return refuse_argument(hr, params, 0, arg_err);
    if (member.answer_for && FAILED(hr = second.bind(argument(params, 1))))
        return refuse_argument(hr, params, 1, arg_err);
    if (member.limit_for && FAILED(hr = family_total.bind(argument(params, 1))))
        return refuse_argument(hr, params, 1, arg_err);

    if (member.text) {
        BSTR text = nullptr;
        if (FAILED(hr = (server->*member.text)(&text))) return hr;
        if (out) VariantInit(out);
        store_text(out, text);
    } else if (member.list || member.list_for) {
        _Collection* list = nullptr;
        hr = member.list ? (server->*member.list)(&list)
                         : (server->*member.list_for)(first.address(), &list);
        if (FAILED(hr)) return hr;
        if (out) VariantInit(out);
        store_collection(out, list);
    } else {
        LONG value = 0;
        hr = member.answer_for
                 ? (server->*member.answer_for)(first.address(), second.address(), &value)
                 : (server->*member.limit_for)(first.address(), family_total.address(), &value);
        if (FAILED(hr)) return hr;
        if (out) VariantInit(out);
        family_total.write_back();
        store_long(out, value);
    }
    return S_OK;
}

}  // namespace

// ---- the default face: a dispatch interface without members ----

template <>
HRESULT STDMETHODCALLTYPE DefaultFace::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                                     DISPID* ids)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return rt::ids_of_names(static_cast<const rt::NoMember*>(nullptr), 0, names, count, ids);
}

template <>
HRESULT STDMETHODCALLTYPE DefaultFace::Invoke(DISPID, REFIID riid, LCID, WORD, DISPPARAMS*,
                                              VARIANT*, EXCEPINFO*, UINT*)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return DISP_E_MEMBERNOTFOUND;
}

// ---- the IServer face ----

template <>
HRESULT STDMETHODCALLTYPE ServerFace::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                                    DISPID* ids)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    // No names, or no arrays, are refused by the table's lookup on either path.
    HostDispatch& host = host_dispatch_of(this);
    if (count != 0 && names && ids && host.serves(own_member))
        return host.ids_of_names(names, count, ids);
    return rt::ids_of_names(kServerMembers, std::size(kServerMembers), names, count, ids);
}

template <>
HRESULT STDMETHODCALLTYPE ServerFace::Invoke(DISPID id, REFIID riid, LCID, WORD flags,
                                             DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                             UINT* arg_err)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    HostDispatch& host = host_dispatch_of(this);
    if (host.serves(own_member))
        return host.invoke(this, id, flags, params, result, excep, arg_err);
    const ServerMemberInfo* member = member_with_id(id);
    if (!member) return DISP_E_MEMBERNOTFOUND;
    const WORD wanted = member->property ? DISPATCH_PROPERTYGET : DISPATCH_METHOD;
    if (!(flags & wanted)) return DISP_E_MEMBERNOTFOUND;
    if (!params) return E_INVALIDARG;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params->cArgs != member->arguments()) return DISP_E_BADPARAMCOUNT;
    if (params->cArgs != 0 && !params->rgvarg) return E_INVALIDARG;

    // The description reported below must be this call's, never an earlier one.
    clear_error_record();
    const HRESULT hr = call_member(this, *member, params, result, arg_err);
    if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTOPTIONAL) return hr;
    return FAILED(hr) ? report_exception(hr, excep) : hr;
}

}  // namespace orvanta
