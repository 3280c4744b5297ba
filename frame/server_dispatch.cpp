// Late binding on both faces of the class.
#include "frame/dispatch_arguments.h"
#include "frame/dispatch_support.h"
#include "frame/server_class.h"
#include "frame/type_info.h"

namespace orvanta {
namespace {

struct Member {
    const char* name;
    DISPID id;
    bool property;  // reached by a property read; the others by a method call
    UINT arguments;
};

constexpr Member kMembers[] = {
    {"Name", kMemberName, true, 0},
    {"ReleaseNumber", kMemberReleaseNumber, true, 0},
    {"Description", kMemberDescription, true, 0},
    {"ServerGUID", kMemberServerGUID, true, 0},
    {"DefaultComponents", kMemberDefaultComponents, false, 0},
    {"IsAttachable", kMemberIsAttachable, false, 2},
    {"GetAttachableGUIDs", kMemberGetAttachableGUIDs, false, 1},
    {"GetMaximumLimit", kMemberGetMaximumLimit, false, 2},
    {"ServerCategory", kMemberServerCategory, false, 0},
};

const Member* member_with_id(DISPID id) noexcept
{
    for (const Member& m : kMembers)
        if (m.id == id) return &m;
    return nullptr;
}

// Whether a member the host's library describes is the face's own, where
// the face has it.
bool own_member(const OLECHAR* name, int slot, bool property, UINT arguments) noexcept
{
    for (const Member& m : kMembers)
        if (name && same_name(name, m.name))
            return slot == slot_of(static_cast<ServerMember>(m.id)) && property == m.property &&
                   arguments == m.arguments;
    return false;
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

HRESULT call_member(IServer* server, const Member& member, DISPPARAMS* params, VARIANT* out,
                    UINT* arg_err) noexcept
{
    BSTR text = nullptr;
    LONG value = 0;
    _Collection* list = nullptr;
    StringArgument first;
    StringArgument second;
    BooleanOutArgument family_total;
    HRESULT hr = S_OK;
    if (member.arguments >= 1 && FAILED(hr = first.bind(argument(params, 0))))
        return refuse_argument(hr, params, 0, arg_err);
    if (member.id == kMemberIsAttachable && FAILED(hr = second.bind(argument(params, 1))))
        return refuse_argument(hr, params, 1, arg_err);
    if (member.id == kMemberGetMaximumLimit && FAILED(hr = family_total.bind(argument(params, 1))))
        return refuse_argument(hr, params, 1, arg_err);

    switch (member.id) {
    case kMemberName: hr = server->get_Name(&text); break;
    case kMemberReleaseNumber: hr = server->get_ReleaseNumber(&text); break;
    case kMemberDescription: hr = server->get_Description(&text); break;
    case kMemberServerGUID: hr = server->get_ServerGUID(&text); break;
    case kMemberServerCategory: hr = server->ServerCategory(&text); break;
    case kMemberDefaultComponents: hr = server->DefaultComponents(&list); break;
    case kMemberGetAttachableGUIDs: hr = server->GetAttachableGUIDs(first.address(), &list); break;
    case kMemberIsAttachable:
        hr = server->IsAttachable(first.address(), second.address(), &value);
        break;
    case kMemberGetMaximumLimit:
        hr = server->GetMaximumLimit(first.address(), family_total.address(), &value);
        break;
    }
    if (FAILED(hr)) return hr;
    if (out) VariantInit(out);
    if (member.id == kMemberDefaultComponents || member.id == kMemberGetAttachableGUIDs) {
        store_collection(out, list);
    } else if (member.id == kMemberIsAttachable || member.id == kMemberGetMaximumLimit) {
        family_total.write_back();
        store_long(out, value);
    } else {
        store_text(out, text);
    }
    return S_OK;
}

}  // namespace

// ---- the default face: a dispatch interface without members ----

HRESULT DefaultFace::GetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo) return E_POINTER;
    *pctinfo = type_info_count(Face::Default);
    return S_OK;
}

HRESULT DefaultFace::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo)
{
    return face_type_info(Face::Default, iTInfo, lcid, ppTInfo);
}

HRESULT DefaultFace::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    return unknown_names(count, ids);
}

HRESULT DefaultFace::Invoke(DISPID, REFIID riid, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                            UINT*)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return DISP_E_MEMBERNOTFOUND;
}

// ---- the IServer face ----

HRESULT ServerFace::GetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo) return E_POINTER;
    *pctinfo = type_info_count(Face::Server);
    return S_OK;
}

HRESULT ServerFace::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo)
{
    return face_type_info(Face::Server, iTInfo, lcid, ppTInfo);
}

HRESULT ServerFace::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    if (host_.serves(own_member)) return host_.ids_of_names(names, count, ids);
    for (const Member& m : kMembers) {
        if (names[0] && same_name(names[0], m.name)) {
            ids[0] = m.id;
            // Named arguments are not offered.
            return count == 1 ? S_OK : (unknown_names(count - 1, ids + 1), DISP_E_UNKNOWNNAME);
        }
    }
    return unknown_names(count, ids);
}

HRESULT ServerFace::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* excep, UINT* arg_err)
{
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (host_.serves(own_member)) return host_.invoke(this, id, flags, params, result, excep, arg_err);
    const Member* member = member_with_id(id);
    if (!member) return DISP_E_MEMBERNOTFOUND;
    const WORD wanted = member->property ? DISPATCH_PROPERTYGET : DISPATCH_METHOD;
    if (!(flags & wanted)) return DISP_E_MEMBERNOTFOUND;
    if (!params) return E_INVALIDARG;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params->cArgs != member->arguments) return DISP_E_BADPARAMCOUNT;
    if (params->cArgs != 0 && !params->rgvarg) return E_INVALIDARG;

    // The description reported below must be this call's, never an earlier one.
    clear_error_record();
    const HRESULT hr = call_member(this, *member, params, result, arg_err);
    if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTOPTIONAL) return hr;
    return FAILED(hr) ? report_exception(hr, excep) : hr;
}

}  // namespace orvanta
