// Identity and lifetime: both faces share one reference count.
#include "frame/server_class.h"

namespace orvanta {

HRESULT CTivOrvantaZNA100::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    // IUnknown and IDispatch give the default face, as for any class whose
    // default interface is a dispatch interface.
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID__CTivOrvantaZNA100) {
        *ppv = static_cast<DefaultFace*>(this);
    } else if (riid == IID_IServer) {
        *ppv = static_cast<IServer*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
        *ppv = static_cast<ISupportErrorInfo*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CTivOrvantaZNA100::AddRef() { return ++refs_; }

ULONG CTivOrvantaZNA100::Release()
{
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

// Every failing operation publishes an error object (raise_to_caller); the
// class vouches for its two faces and for nothing else.
HRESULT ErrorInfoFace::InterfaceSupportsErrorInfo(REFIID riid)
{
    return riid == IID_IServer || riid == IID__CTivOrvantaZNA100 ? S_OK : S_FALSE;
}

}  // namespace orvanta
