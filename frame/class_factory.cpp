#include "frame/class_factory.h"

#include "frame/server_class.h"
#include "runtime/module_state.h"

namespace orvanta {
namespace {

class ClassObject final : public IClassFactory {
public:
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override
    {
        rt::lock_module();
        return 2;
    }
    STDMETHOD_(ULONG, Release)() override
    {
        rt::unlock_module();
        return 1;
    }

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

ClassObject g_class_object;

}  // namespace

IClassFactory* class_object() noexcept { return &g_class_object; }

}  // namespace orvanta
