// The built module as a host loads it: the entry points and the runtime's
// functions under their C names, nothing of the C++ inside, and a working
// class object behind DllGetClassObject.
#include "test_support.h"

#include <cxxabi.h>
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <memory>

using namespace testing_support;

namespace {

#ifndef ORVANTA_MODULE_PATH
#  error "ORVANTA_MODULE_PATH names the module under test"
#endif

struct Unloader {
    void operator()(void* handle) const { dlclose(handle); }
};
using Module = std::unique_ptr<void, Unloader>;

Module load_module()
{
    Module module(dlopen(ORVANTA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL));
    EXPECT_TRUE(module) << dlerror();
    return module;
}

std::string demangled(const char* name)
{
    int status = -1;
    std::unique_ptr<char, decltype(&std::free)> text(
        abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
    return status == 0 ? std::string(text.get()) : std::string("<not a C++ name>");
}

TEST(ModuleExports, EntryPointsAndRuntimeFunctionsCarryTheirCNames)
{
    Module module = load_module();
    ASSERT_TRUE(module);
    const char* const exported[] = {
        "DllGetClassObject", "DllCanUnloadNow",   "DllRegisterServer", "DllUnregisterServer",
        "SysAllocString",    "SysAllocStringLen", "SysFreeString",     "SysStringLen",
        "SysStringByteLen",  "VariantInit",       "VariantClear",      "VariantCopy",
        "VariantChangeType",
    };
    for (const char* name : exported) {
        SCOPED_TRACE(name);
        void* symbol = dlsym(module.get(), name);
        ASSERT_NE(symbol, nullptr) << dlerror();
        // Defined by the module itself, not borrowed from this program.
        Dl_info info{};
        ASSERT_NE(dladdr(symbol, &info), 0);
        EXPECT_STREQ(info.dli_fname, ORVANTA_MODULE_PATH);
        EXPECT_STREQ(info.dli_sname, name);
    }
}

TEST(ModuleExports, InternalCppNamesStayInside)
{
    Module module = load_module();
    ASSERT_TRUE(module);
    struct Internal {
        const char* mangled;
        const char* readable;  // proves the mangled spelling names real code
    };
    const Internal internals[] = {
        {"_ZN7orvanta12class_objectEv", "orvanta::class_object()"},
        {"_ZN2rt17module_can_unloadEv", "rt::module_can_unload()"},
        {"_ZN7orvanta10find_limitESt17basic_string_viewIDsSt11char_traitsIDsEE",
         "orvanta::find_limit(std::basic_string_view<char16_t, std::char_traits<char16_t> >)"},
        {"_ZN2rt21fail_allocation_afterEl", "rt::fail_allocation_after(long)"},
        {"_ZN2rt12live_objectsEv", "rt::live_objects()"},
        {"_ZN2rt17create_collectionEPP11_Collection", "rt::create_collection(_Collection**)"},
        {"_ZN7orvanta12error_recordEv", "orvanta::error_record()"},
    };
    for (const Internal& i : internals) {
        SCOPED_TRACE(i.readable);
        EXPECT_EQ(demangled(i.mangled), i.readable);
        EXPECT_EQ(dlsym(module.get(), i.mangled), nullptr) << "exported from the module";
    }
}

TEST(ModuleExports, LoadedModuleCreatesAWorkingInstance)
{
    Module module = load_module();
    ASSERT_TRUE(module);
    using GetClassObject = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
    using CanUnloadNow = HRESULT (*)();
    using FreeString = void (*)(BSTR);
    auto get_class_object =
        reinterpret_cast<GetClassObject>(dlsym(module.get(), "DllGetClassObject"));
    auto can_unload_now = reinterpret_cast<CanUnloadNow>(dlsym(module.get(), "DllCanUnloadNow"));
    auto free_string = reinterpret_cast<FreeString>(dlsym(module.get(), "SysFreeString"));
    ASSERT_TRUE(get_class_object && can_unload_now && free_string);

    EXPECT_EQ(can_unload_now(), S_OK);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(get_class_object(CLSID_CTivOrvantaZNA100, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_NE(factory, nullptr);
    IServer* server = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IServer, reinterpret_cast<void**>(&server)),
              S_OK);
    factory->Release();
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(can_unload_now(), S_FALSE);

    // The string comes from the module's heap and goes back to it.
    BSTR name = nullptr;
    EXPECT_EQ(server->get_Name(&name), S_OK);
    EXPECT_EQ(text_of(name), u"Orvanta ZNA");
    free_string(name);

    VARIANT_BOOL family_total = 0;
    LONG maximum = 0;
    BSTR guid = nullptr;  // the empty string; nothing to allocate on our side
    EXPECT_EQ(server->GetMaximumLimit(&guid, &family_total, &maximum), S_OK);
    EXPECT_EQ(maximum, -1);

    EXPECT_EQ(server->Release(), 0u);
    EXPECT_EQ(can_unload_now(), S_OK);
    void* other = &other;
    EXPECT_EQ(get_class_object(IID_IServer, IID_IClassFactory, &other), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(other, nullptr);
}

}  // namespace
