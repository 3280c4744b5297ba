// CTivOrvantaZNA100: one object, one reference count, two faces. The default
// face _CTivOrvantaZNA100 is a dispatch interface without members; IServer
// carries the nine operations. Each IServer entry forwards to the class's own
// table (the IServer_ virtual functions), which is what IsAttachable calls.
#pragma once

#include "frame/iserver.h"
#include "frame/server_dispatch_host.h"
#include "frame/type_info.h"
#include "runtime/fault_injection.h"
#include "runtime/unknown.h"

#include <new>

namespace orvanta {

// The default face _CTivOrvantaZNA100: a dispatch interface without members,
// described by the module's own library where the platform has one.
struct DefaultFace : _CTivOrvantaZNA100 {
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override
    {
        if (!pctinfo) return E_POINTER;
        *pctinfo = default_type_info_count();
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override
    {
        return face_type_info(Face::Default, iTInfo, lcid, ppTInfo);
    }
    STDMETHOD(GetIDsOfNames)
    (REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHOD(Invoke)
    (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
};

// The IServer face: the nine members, from the host's description once it is
// accepted, else from the class's own table; its type information follows
// the same choice (server_dispatch.cpp).
struct ServerFace : IServer {
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHOD(GetIDsOfNames)
    (REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHOD(Invoke)
    (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
};

class CTivOrvantaZNA100;
using ServerUnknown =
    rt::Unknown<CTivOrvantaZNA100, rt::ApartmentCount, DefaultFace, ServerFace, ISupportErrorInfo>;

class CTivOrvantaZNA100 : public ServerUnknown {
    friend ServerUnknown;  // destroys the instance at its last reference

public:
    // A new instance, queried for riid. The caller owns the one reference
    // handed out. Test builds may ask for a test's subclass T instead.
#ifdef ORVANTA_TEST_HOOKS
    template <class T = CTivOrvantaZNA100>
#endif
    static HRESULT create(REFIID riid, void** ppv) noexcept;

    // What both faces answer to (server_unknown.cpp).
    static const rt::Interface<CTivOrvantaZNA100> kInterfaces[];

    // The IServer face.
    STDMETHOD(get_Name)(BSTR* r) override { return IServer_Name(r); }
    STDMETHOD(get_ReleaseNumber)(BSTR* r) override { return IServer_ReleaseNumber(r); }
    STDMETHOD(get_Description)(BSTR* r) override { return IServer_Description(r); }
    STDMETHOD(get_ServerGUID)(BSTR* r) override { return IServer_ServerGUID(r); }
    STDMETHOD(DefaultComponents)(_Collection** r) override { return IServer_DefaultComponents(r); }
    STDMETHOD(IsAttachable)(BSTR* parent, BSTR* attachment, LONG* r) override
    {
        return IServer_IsAttachable(parent, attachment, r);
    }
    STDMETHOD(GetAttachableGUIDs)(BSTR* parent, _Collection** r) override
    {
        return IServer_GetAttachableGUIDs(parent, r);
    }
    STDMETHOD(GetMaximumLimit)(BSTR* component, VARIANT_BOOL* family_total, LONG* r) override
    {
        return IServer_GetMaximumLimit(component, family_total, r);
    }
    STDMETHOD(ServerCategory)(BSTR* r) override { return IServer_ServerCategory(r); }

    // Which interfaces leave an error object behind when a call fails.
    STDMETHOD(InterfaceSupportsErrorInfo)(REFIID riid) override;

    // How late binding on the IServer face is served for this instance.
    HostDispatch& host_dispatch() noexcept { return host_dispatch_; }

protected:
    CTivOrvantaZNA100() noexcept = default;
    virtual ~CTivOrvantaZNA100() = default;

    // The class's own table of operations; not published.
    virtual HRESULT IServer_Name(BSTR* result);
    virtual HRESULT IServer_ReleaseNumber(BSTR* result);
    virtual HRESULT IServer_Description(BSTR* result);
    virtual HRESULT IServer_ServerGUID(BSTR* result);
    virtual HRESULT IServer_DefaultComponents(_Collection** result);
    virtual HRESULT IServer_IsAttachable(BSTR* ParentGUID, BSTR* AttachmentGUID, LONG* result);
    virtual HRESULT IServer_GetAttachableGUIDs(BSTR* ParentGUID, _Collection** result);
    virtual HRESULT IServer_GetMaximumLimit(BSTR* ComponentGUID, VARIANT_BOOL* FamilyTotal,
                                            LONG* result);
    virtual HRESULT IServer_ServerCategory(BSTR* result);

private:
    IUnknown* identity() noexcept { return static_cast<DefaultFace*>(this); }

    HostDispatch host_dispatch_;
};

#ifdef ORVANTA_TEST_HOOKS
template <class T>
HRESULT CTivOrvantaZNA100::create(REFIID riid, void** ppv) noexcept
#else
inline HRESULT CTivOrvantaZNA100::create(REFIID riid, void** ppv) noexcept
#endif
{
#ifndef ORVANTA_TEST_HOOKS
    using T = CTivOrvantaZNA100;
#endif
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (rt::allocation_should_fail()) return E_OUTOFMEMORY;
    T* instance = new (std::nothrow) T();
    if (!instance) return E_OUTOFMEMORY;
    // The query takes a reference of its own; a refused interface destroys
    // the instance as the first reference goes.
    const HRESULT hr = instance->QueryInterface(riid, ppv);
    instance->Release();
    return hr;
}

}  // namespace orvanta
