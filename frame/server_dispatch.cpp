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

// What the face does with each parameter of a member, the result last.
enum class Use : unsigned char { Read, Written, Result };
struct FaceParam {
    ParamType type;
    Use use;
};

UINT face_params(const ServerMemberInfo& m, FaceParam (&out)[3]) noexcept
{
    constexpr FaceParam kReadString{ParamType::String, Use::Read};
    UINT n = 0;
    if (m.list_for || m.answer_for || m.limit_for) out[n++] = kReadString;
    if (m.answer_for) out[n++] = kReadString;
    if (m.limit_for) out[n++] = {ParamType::Boolean, Use::Written};
    const ParamType result = m.text                 ? ParamType::String
                             : m.list || m.list_for ? ParamType::Collection
                                                    : ParamType::Long;
    out[n++] = {result, Use::Result};
    return n;
}

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

bool own_server_member(const DescribedMember& d) noexcept
{
    for (const ServerMemberInfo& m : kServerMembers) {
        if (!d.name || !rt::same_name(d.name, m.name)) continue;
        FaceParam expected[3];
        const UINT count = face_params(m, expected);
        if (d.vtable_index != vtable_index_of(m.id) || d.property != m.property ||
            d.param_count != count)
            return false;
        for (UINT i = 0; i < count; ++i)
            if (d.params[i].type != expected[i].type ||
                !compatible(d.params[i].direction, expected[i].use))
                return false;
        return true;
    }
    return false;
}

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

// Type information exactly when the host's description serves the face's
// names and calls. Without it the count is 0, and no index names anything:
// DISP_E_BADINDEX, as for any index beyond the count.
template <>
HRESULT STDMETHODCALLTYPE ServerFace::GetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo) return E_POINTER;
    *pctinfo = host_dispatch_of(this).serves(own_server_member) ? 1 : 0;
    return S_OK;
}

template <>
HRESULT STDMETHODCALLTYPE ServerFace::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info) return E_POINTER;
    *info = nullptr;
    HostDispatch& host = host_dispatch_of(this);
    if (!host.serves(own_server_member) || index != 0) return DISP_E_BADINDEX;
    return host.type_info(info);
}

template <>
HRESULT STDMETHODCALLTYPE ServerFace::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                                    DISPID* ids)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    // No names, or no arrays, are refused by the table's lookup on either path.
    HostDispatch& host = host_dispatch_of(this);
    if (count != 0 && names && ids && host.serves(own_server_member))
        return host.ids_of_names(names, count, ids);
    return rt::ids_of_names(kServerMembers, std::size(kServerMembers), names, count, ids);
}

template <>
HRESULT STDMETHODCALLTYPE ServerFace::Invoke(DISPID id, REFIID riid, LCID, WORD flags,
                                             DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                             UINT* arg_err)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (const HRESULT hr = rt::check_argument_block(params); FAILED(hr)) return hr;
    HostDispatch& host = host_dispatch_of(this);
    if (host.serves(own_server_member))
        return host.invoke(this, id, flags, params, result, excep, arg_err);
    const ServerMemberInfo* member = member_with_id(id);
    if (!member) return DISP_E_MEMBERNOTFOUND;
    const WORD wanted = member->property ? DISPATCH_PROPERTYGET : DISPATCH_METHOD;
    if (!(flags & wanted)) return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params->cArgs != member->arguments()) return DISP_E_BADPARAMCOUNT;

    // The description reported below must be this call's, never an earlier one.
    clear_error_record();
    const HRESULT hr = call_member(this, *member, params, result, arg_err);
    if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTOPTIONAL) return hr;
    return FAILED(hr) ? report_exception(hr, excep) : hr;
}

}  // namespace orvanta
