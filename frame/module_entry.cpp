// The module's entry points for getting the class object and for unloading.
#include "frame/class_factory.h"
#include "frame/iserver.h"
#include "frame/module_instance.h"
#include "runtime/module_state.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    // Every apartment that creates the class comes here on its own thread,
    // also one that existed before the module was loaded.
    orvanta::claim_exception_state();
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (rclsid != CLSID_CTivOrvantaZNA100) return CLASS_E_CLASSNOTAVAILABLE;
    return orvanta::class_object()->QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() { return rt::module_can_unload() ? S_OK : S_FALSE; }
