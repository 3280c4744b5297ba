#include "frame/class_factory.h"

#include "frame/server_class.h"
#include "runtime/unknown.h"

namespace orvanta {
namespace {

class ClassObject final : public rt::Unknown<ClassObject, rt::ModuleLockCount, IClassFactory> {
public:
    static const rt::Interface<ClassObject> kInterfaces[];

    // Every request gives a new, independent instance.
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return CTivOrvantaZNA100::create(riid, ppv);
    }
    STDMETHOD(LockServer)(BOOL lock) override
    {
        if (lock)
            rt::lock_module();
        else
            rt::unlock_module();
        return S_OK;
    }
};

const rt::Interface<ClassObject> ClassObject::kInterfaces[] = {
    rt::answers<ClassObject, IClassFactory>(IID_IUnknown),
    rt::answers<ClassObject, IClassFactory>(IID_IClassFactory),
    rt::kEndOfInterfaces<ClassObject>,
};

ClassObject g_class_object;

}  // namespace

IClassFactory* class_object() noexcept { return &g_class_object; }

}  // namespace orvanta
