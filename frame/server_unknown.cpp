// What the class answers to. IUnknown and IDispatch give the default face,
// as for any class whose default interface is a dispatch interface.
#include "frame/server_class.h"

namespace orvanta {

const rt::Interface<CTivOrvantaZNA100> CTivOrvantaZNA100::kInterfaces[] = {
    rt::answers<CTivOrvantaZNA100, DefaultFace>(IID_IUnknown),
    rt::answers<CTivOrvantaZNA100, DefaultFace>(IID_IDispatch),
    rt::answers<CTivOrvantaZNA100, DefaultFace>(IID__CTivOrvantaZNA100),
    rt::answers<CTivOrvantaZNA100, ServerFace>(IID_IServer),
    rt::answers<CTivOrvantaZNA100, ISupportErrorInfo>(IID_ISupportErrorInfo),
    rt::kEndOfInterfaces<CTivOrvantaZNA100>,
};

// Every failing operation publishes an error object; the class vouches for
// its two faces and for nothing else.
HRESULT CTivOrvantaZNA100::InterfaceSupportsErrorInfo(REFIID riid)
{
    return riid == IID_IServer || riid == IID__CTivOrvantaZNA100 ? S_OK : S_FALSE;
}

}  // namespace orvanta
