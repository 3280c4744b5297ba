// The module's class object and its unload answer.
#include "test_support.h"

#include <functional>

using namespace testing_support;

namespace {

// {CC0FE54A-F447-4D79-AD4D-90F94C59B003}, the type library
constexpr GUID kLibraryId = {
    0xCC0FE54A, 0xF447, 0x4D79, {0xAD, 0x4D, 0x90, 0xF9, 0x4C, 0x59, 0xB0, 0x03}};
// {0190584F-0F1B-4C7F-87AD-8BD51D2E8B4E}, the default interface
constexpr GUID kDefaultInterfaceId = {
    0x0190584F, 0x0F1B, 0x4C7F, {0x87, 0xAD, 0x8B, 0xD5, 0x1D, 0x2E, 0x8B, 0x4E}};
// {68A285B0-5582-4720-A801-BFCEF626BBD6}, the class
constexpr GUID kClassId = {
    0x68A285B0, 0x5582, 0x4720, {0xA8, 0x01, 0xBF, 0xCE, 0xF6, 0x26, 0xBB, 0xD6}};

rt::ComPtr<IClassFactory> class_object()
{
    rt::ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(kClassId, IID_IClassFactory, factory.put_void()), S_OK);
    return factory;
}

class ClassObject : public LeakCheckedTest {
protected:
    void SetUp() override
    {
        LeakCheckedTest::SetUp();
        ASSERT_EQ(DllCanUnloadNow(), S_OK) << "something of the module is still in use";
    }
    void TearDown() override
    {
        EXPECT_EQ(DllCanUnloadNow(), S_OK);
        LeakCheckedTest::TearDown();
    }
};

TEST_F(ClassObject, GivenOnlyForTheClassIdentifier)
{
    struct Case {
        const char* what;
        const GUID& clsid;
        const IID& iid;
        HRESULT status;
    };
    const Case cases[] = {
        {"class, IClassFactory", kClassId, IID_IClassFactory, S_OK},
        {"class, IUnknown", kClassId, IID_IUnknown, S_OK},
        {"class, IServer", kClassId, IID_IServer, E_NOINTERFACE},
        {"class, IDispatch", kClassId, IID_IDispatch, E_NOINTERFACE},
        {"library id", kLibraryId, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"default interface id", kDefaultInterfaceId, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"IServer id", IID_IServer, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"IID_NULL", IID_NULL, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"IID_NULL, IUnknown", IID_NULL, IID_IUnknown, CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        void* out = &out;
        EXPECT_EQ(DllGetClassObject(c.clsid, c.iid, &out), c.status);
        if (FAILED(c.status)) {
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(DllCanUnloadNow(), S_OK);
            continue;
        }
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "a reference on the class object keeps the module";
        // Both interfaces lead to the same class object.
        rt::ComPtr<IClassFactory> factory;
        EXPECT_EQ(
            static_cast<IUnknown*>(out)->QueryInterface(IID_IClassFactory, factory.put_void()),
            S_OK);
        EXPECT_EQ(factory.get(), class_object().get());
        factory.reset();
        static_cast<IUnknown*>(out)->Release();
        EXPECT_EQ(DllCanUnloadNow(), S_OK);
    }
    EXPECT_EQ(DllGetClassObject(kClassId, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ClassObject, EveryCreationGivesANewIndependentInstance)
{
    auto factory = class_object();
    rt::ComPtr<IServer> first;
    rt::ComPtr<IServer> second;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IServer, first.put_void()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IServer, second.put_void()), S_OK);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(refcount(first.get()), 1u);
    EXPECT_EQ(refcount(second.get()), 1u);

    for (IServer* server : {first.get(), second.get()}) {
        rt::BStr name;
        EXPECT_EQ(server->get_Name(name.put()), S_OK);
        EXPECT_EQ(text_of(name.get()), u"Orvanta ZNA");
    }
    // Asked for another of its interfaces, the instance still answers IServer.
    rt::ComPtr<IUnknown> unknown;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, unknown.put_void()), S_OK);
    rt::ComPtr<IServer> third;
    EXPECT_EQ(unknown->QueryInterface(IID_IServer, third.put_void()), S_OK);
    EXPECT_NE(third.get(), first.get());
    unknown.reset();
    EXPECT_EQ(third.detach()->Release(), 0u);
    EXPECT_EQ(first.detach()->Release(), 0u);
    EXPECT_EQ(second.detach()->Release(), 0u);
}

TEST_F(ClassObject, RefusedCreationsLeaveNothingBehind)
{
    auto factory = class_object();
    auto outer = new_server();
    const ULONG outer_refs = refcount(outer.get());
    const long objects = rt::live_objects();

    struct Case {
        const char* what;
        IUnknown* outer;
        const IID& iid;
        long fail_allocation;
        HRESULT status;
    };
    const Case cases[] = {
        {"aggregation, IUnknown", outer.get(), IID_IUnknown, 0, CLASS_E_NOAGGREGATION},
        {"aggregation, IServer", outer.get(), IID_IServer, 0, CLASS_E_NOAGGREGATION},
        {"IClassFactory", nullptr, IID_IClassFactory, 0, E_NOINTERFACE},
        {"_Collection", nullptr, IID__Collection, 0, E_NOINTERFACE},
        {"IID_NULL", nullptr, IID_NULL, 0, E_NOINTERFACE},
        {"out of memory", nullptr, IID_IServer, 1, E_OUTOFMEMORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        void* out = &out;
        rt::fail_allocation_after(c.fail_allocation);
        EXPECT_EQ(factory->CreateInstance(c.outer, c.iid, &out), c.status);
        rt::fail_allocation_after(0);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(rt::live_objects(), objects);
        EXPECT_EQ(refcount(outer.get()), outer_refs);
    }
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IServer, nullptr), E_POINTER);
}

TEST_F(ClassObject, LocksCount)
{
    auto factory = class_object();
    IClassFactory* f = factory.detach();
    EXPECT_EQ(f->LockServer(TRUE), S_OK);
    EXPECT_EQ(f->LockServer(TRUE), S_OK);
    f->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(f->LockServer(FALSE), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "one lock is still held";
    EXPECT_EQ(f->LockServer(FALSE), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// Each thing a host may still hold keeps the module loaded on its own; the
// answer turns to S_OK exactly when it is let go.
TEST_F(ClassObject, ModuleStaysLoadedWhileAnythingIsOutstanding)
{
    using Holder = std::function<rt::ComPtr<IUnknown>()>;
    auto as_unknown = [](IUnknown* p) { return rt::ComPtr<IUnknown>::adopt(p); };
    struct Case {
        const char* what;
        Holder hold;  // returns the one thing left outstanding
    };
    const Case cases[] = {
        {"an instance",
         [&] {
             IUnknown* p = nullptr;
             EXPECT_EQ(
                 class_object()->CreateInstance(nullptr, IID_IServer, reinterpret_cast<void**>(&p)),
                 S_OK);
             return as_unknown(p);
         }},
        {"a collection from DefaultComponents",
         [&] {
             _Collection* list = nullptr;
             EXPECT_EQ(new_server()->DefaultComponents(&list), S_OK);
             return as_unknown(list);
         }},
        {"an enumerator of such a collection",
         [&] {
             rt::ComPtr<_Collection> list;
             EXPECT_EQ(new_server()->DefaultComponents(list.put()), S_OK);
             IUnknown* enumerator = nullptr;
             EXPECT_EQ(list->_NewEnum(&enumerator), S_OK);
             return as_unknown(enumerator);
         }},
        {"a class-object reference", [&] { return as_unknown(class_object().detach()); }},
        {"a lock",
         [&] {
             EXPECT_EQ(class_object()->LockServer(TRUE), S_OK);
             return rt::ComPtr<IUnknown>();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(DllCanUnloadNow(), S_OK);
        rt::ComPtr<IUnknown> outstanding = c.hold();
        EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
        if (outstanding)
            outstanding.reset();
        else
            class_object()->LockServer(FALSE);
        EXPECT_EQ(DllCanUnloadNow(), S_OK);
    }
}

}  // namespace
