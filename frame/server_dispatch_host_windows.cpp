// IServer's late binding from the host's library on Windows: TivDefn's
// IServer, checked against the face member by member and parameter by
// parameter, is the face's type information, and its vtable view drives the
// platform's own name lookup (DispGetIDsOfNames) and invocation (DispInvoke)
// over the face.
#ifdef _WIN32
#  include "frame/error_record.h"
#  include "frame/server_members.h"
#  include "frame/type_info.h"
#  include "runtime/bstr.h"

#  include <iterator>
#  include <utility>

namespace orvanta {
namespace {

constexpr UINT kServerMemberCount = std::size(kServerMembers);

// A description the type information lends out, given back on every path.
template <class T, void (STDMETHODCALLTYPE ITypeInfo::*kGiveBack)(T*)>
class Lent {
public:
    explicit Lent(ITypeInfo* info) noexcept : info_(info) {}
    Lent(const Lent&) = delete;
    Lent& operator=(const Lent&) = delete;
    ~Lent()
    {
        if (lent_) (info_->*kGiveBack)(lent_);
    }
    T** put() noexcept { return &lent_; }
    const T* get() const noexcept { return lent_; }
    const T* operator->() const noexcept { return lent_; }

private:
    ITypeInfo* info_;
    T* lent_ = nullptr;
};
using TypeAttr = Lent<TYPEATTR, &ITypeInfo::ReleaseTypeAttr>;
using FuncDesc = Lent<FUNCDESC, &ITypeInfo::ReleaseFuncDesc>;

// A dual interface is described as a dispatch interface whose vtable half
// is one reference away; the platform's invocation needs that half.
HRESULT vtable_view(ITypeInfo* described, rt::ComPtr<ITypeInfo>& view) noexcept
{
    TYPEKIND kind = TKIND_MAX;
    WORD flags = 0;
    {
        TypeAttr attr(described);
        const HRESULT hr = described->GetTypeAttr(attr.put());
        if (FAILED(hr)) return hr;
        kind = attr->typekind;
        flags = attr->wTypeFlags;
    }
    if (kind == TKIND_INTERFACE) {
        view = rt::ComPtr<ITypeInfo>::share(described);
        return S_OK;
    }
    if (kind != TKIND_DISPATCH || !(flags & TYPEFLAG_FDUAL)) return TYPE_E_WRONGTYPEKIND;
    HREFTYPE vtable_half = 0;
    const HRESULT hr = described->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable_half);
    if (FAILED(hr)) return hr;
    return described->GetRefTypeInfo(vtable_half, view.put());
}

bool is_collection(ITypeInfo* view, const TYPEDESC& type) noexcept
{
    if (type.vt != VT_USERDEFINED) return false;
    rt::ComPtr<ITypeInfo> referenced;
    if (FAILED(view->GetRefTypeInfo(type.hreftype, referenced.put()))) return false;
    TypeAttr attr(referenced.get());
    return SUCCEEDED(referenced->GetTypeAttr(attr.put())) &&
           IsEqualIID(attr->guid, IID__Collection) &&
           (attr->typekind == TKIND_INTERFACE || attr->typekind == TKIND_DISPATCH);
}

// Every parameter of the face is an address; what it points to decides how
// the platform converts the caller's argument and the result.
ParamType pointee_type(ITypeInfo* view, const TYPEDESC& type) noexcept
{
    if (type.vt != VT_PTR || !type.lptdesc) return ParamType::Other;
    const TYPEDESC& to = *type.lptdesc;
    switch (to.vt) {
    case VT_BSTR: return ParamType::String;
    case VT_BOOL: return ParamType::Boolean;
    case VT_I4: return ParamType::Long;
    case VT_PTR:
        return to.lptdesc && is_collection(view, *to.lptdesc) ? ParamType::Collection
                                                              : ParamType::Other;
    default: return ParamType::Other;
    }
}

// Optional, defaulted and locale parameters are nothing the face takes.
ParamDirection direction_of(USHORT flags) noexcept
{
    constexpr USHORT kMeaningful = PARAMFLAG_FIN | PARAMFLAG_FOUT | PARAMFLAG_FLCID |
                                   PARAMFLAG_FRETVAL | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;
    switch (flags & kMeaningful) {
    case PARAMFLAG_FIN: return ParamDirection::In;
    case PARAMFLAG_FIN | PARAMFLAG_FOUT: return ParamDirection::InOut;
    case PARAMFLAG_FOUT: return ParamDirection::Out;
    case PARAMFLAG_FOUT | PARAMFLAG_FRETVAL: return ParamDirection::Result;
    default: return ParamDirection::Other;
    }
}

// One described function is one of the face's operations, called where the
// face has it: an HRESULT-returning stdcall entry whose parameters are the
// face's, position by position.
bool matches_operation(ITypeInfo* view, const FUNCDESC& d, unsigned& indices_seen) noexcept
{
    if (d.funckind != FUNC_PUREVIRTUAL && d.funckind != FUNC_VIRTUAL) return false;
    if (d.callconv != CC_STDCALL || d.elemdescFunc.tdesc.vt != VT_HRESULT) return false;
    if (d.invkind != INVOKE_FUNC && d.invkind != INVOKE_PROPERTYGET) return false;
    if (d.cParams < 1 || d.cParams > static_cast<SHORT>(kMostParams) || d.cParamsOpt != 0 ||
        d.oVft % sizeof(void*) != 0)
        return false;
    DescribedParam params[kMostParams];
    for (SHORT i = 0; i < d.cParams; ++i) {
        const ELEMDESC& e = d.lprgelemdescParam[i];
        params[i] = {pointee_type(view, e.tdesc), direction_of(e.paramdesc.wParamFlags)};
    }

    rt::BStr name;
    if (FAILED(view->GetDocumentation(d.memid, name.put(), nullptr, nullptr, nullptr)))
        return false;
    const int vtable_index = static_cast<int>(d.oVft / sizeof(void*));
    if (!own_server_member({name.get(), vtable_index, d.invkind == INVOKE_PROPERTYGET, params,
                            static_cast<UINT>(d.cParams)}))
        return false;
    const unsigned bit = 1u << (vtable_index - kDispatchEntries);
    if (indices_seen & bit) return false;
    indices_seen |= bit;
    return true;
}

// Calls go through the face's vtable at the offsets the description gives,
// so it must describe exactly the face's operations, each at its own vtable index.
bool lays_out_face(ITypeInfo* view) noexcept
{
    TypeAttr attr(view);
    if (FAILED(view->GetTypeAttr(attr.put())) || attr->typekind != TKIND_INTERFACE ||
        attr->cFuncs != kServerMemberCount)
        return false;
    unsigned indices_seen = 0;
    for (UINT i = 0; i < kServerMemberCount; ++i) {
        FuncDesc f(view);
        view->GetFuncDesc(i, f.put());
        if (!f.get() || !matches_operation(view, *f.get(), indices_seen)) return false;
    }
    return true;
}

// What the platform's invocation wrote into its EXCEPINFO, freed on every path.
struct PlatformException {
    EXCEPINFO info{};
    PlatformException() = default;
    PlatformException(const PlatformException&) = delete;
    PlatformException& operator=(const PlatformException&) = delete;
    ~PlatformException()
    {
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
    }
};

}  // namespace

bool HostDispatch::serves() noexcept
{
    if (choice_ == Choice::Undecided) {
        rt::ComPtr<ITypeInfo> described;
        rt::ComPtr<ITypeInfo> view;
        const bool usable = SUCCEEDED(face_type_info(Face::Server, 0, 0, described.put())) &&
                            SUCCEEDED(vtable_view(described.get(), view)) &&
                            lays_out_face(view.get());
        choice_ = usable ? Choice::Host : Choice::OwnTable;
        if (usable) {
            described_ = std::move(described);
            vtable_ = std::move(view);
        }
    }
    return choice_ == Choice::Host;
}

HRESULT HostDispatch::type_info(ITypeInfo** info) noexcept
{
    *info = rt::ComPtr<ITypeInfo>(described_).detach();
    return S_OK;
}

HRESULT HostDispatch::ids_of_names(LPOLESTR* names, UINT count, DISPID* ids) noexcept
{
    for (UINT i = 0; i < count; ++i) {
        if (names[i]) continue;
        for (UINT j = 0; j < count; ++j) ids[j] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    return DispGetIDsOfNames(vtable_.get(), names, count, ids);
}

HRESULT HostDispatch::invoke(IServer* face, DISPID id, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* excep, UINT* arg_err) noexcept
{
    // The platform fills its EXCEPINFO from the thread's error object, which
    // it takes over, and answers DISP_E_EXCEPTION even to a caller without
    // one. The report is rebuilt from the error record instead, which the
    // failed operation has just written, exactly as the class's own table
    // reports, and the error object is put back as that path leaves it.
    PlatformException platform;
    const HRESULT hr =
        DispInvoke(face, vtable_.get(), id, flags, params, result, &platform.info, arg_err);
    if (hr != DISP_E_EXCEPTION) return hr;
    if (platform.info.pfnDeferredFillIn) platform.info.pfnDeferredFillIn(&platform.info);
    const HRESULT status = FAILED(platform.info.scode) ? platform.info.scode : E_UNEXPECTED;
    // A failed operation's result is empty, whatever the platform copied out.
    if (result) VariantClear(result);
    return report_exception(status, excep, /*publish_again=*/true);
}

}  // namespace orvanta
#endif
