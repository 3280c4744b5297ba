// The class used from other apartments, as a host with several threads uses
// it: created from a multithreaded apartment (the platform makes a host
// apartment for it and hands back a proxy), and handed from one
// single-threaded apartment to another by stream and through the global
// interface table. The proxies come from the registered stand-in TivDefn,
// which describes IServer and the collection interface.
#include "wine_support.h"

using namespace wt;

namespace {

constexpr HRESULT kMissingKey = static_cast<HRESULT>(0x800A0005);

// A proxy answers for the platform's IMultiQI; the object itself does not.
bool is_proxy(IUnknown* object)
{
    Ref<IMultiQI> multi;
    return SUCCEEDED(object->QueryInterface(IID_IMultiQI, multi.put_void()));
}

// Every operation of IServer and every reading of the collection through
// `server`, early and late bound, each answer checked.
void exercise(IServer* server)
{
    const ULONG refs = refcount(server);
    for (const IdentityMember& m : kIdentityMembers) {
        Bstr text;
        EXPECT_EQ((server->*m.member)(text.put()), S_OK) << m.name;
        EXPECT_EQ(text_of(text.get()), as_text(m.text)) << m.name;
    }
    {
        Ref<_Collection> list;
        ASSERT_EQ(server->DefaultComponents(list.put()), S_OK);
        ASSERT_TRUE(list);
        EXPECT_TRUE(is_proxy(list.get()));
        expect_whole_catalogue(list.get());
        Bstr missing(L"{00000000-0000-0000-0000-000000000000}");
        VARIANT key = string_value(missing.get());
        Variant element;
        EXPECT_EQ(list->Item(&key, element.put()), kMissingKey);
        EXPECT_EQ(element->vt, VT_EMPTY);
        EXPECT_EQ(refcount(list.get()), 1u);
    }
    for (const expected::LimitRow& row : expected::kLimitRows) {
        Bstr guid(row.guid);
        VARIANT_BOOL family_total = row.family_total ? VARIANT_FALSE : VARIANT_TRUE;
        LONG maximum = 12345;
        EXPECT_EQ(server->GetMaximumLimit(guid.address(), &family_total, &maximum), S_OK);
        EXPECT_EQ(maximum, row.maximum) << printable(row.guid);
        EXPECT_EQ(family_total, row.family_total ? VARIANT_TRUE : VARIANT_FALSE);
    }
    Bstr parent(expected::kCatalogue[0]);
    Bstr attachment(expected::kCatalogue[1]);
    LONG answer = 12345;
    EXPECT_EQ(server->IsAttachable(parent.address(), attachment.address(), &answer), S_OK);
    EXPECT_EQ(answer, expected::kAttachNoList);
    Ref<_Collection> attachable;
    EXPECT_EQ(server->GetAttachableGUIDs(parent.address(), attachable.put()), S_OK);
    EXPECT_FALSE(attachable);

    // Name lookup and invocation, through the proxy's own dispatch entries.
    HRESULT hr = E_FAIL;
    EXPECT_EQ(id_of_name(server, L"Name", &hr), 1);
    EXPECT_EQ(hr, S_OK);
    CallResult name;
    invoke(server, 1, DISPATCH_PROPERTYGET, {}, name);
    ASSERT_EQ(name.status, S_OK) << hex(name.status);
    ASSERT_EQ(name.result->vt, VT_BSTR);
    EXPECT_EQ(text_of(name.result->bstrVal), as_text(expected::kName));
    EXPECT_EQ(refcount(server), refs);
}

// Runs `body` on a new thread in an apartment of the given kind, while this
// thread's single-threaded apartment keeps serving calls into it.
template <class Body>
DWORD WINAPI apartment_thread(void* context)
{
    auto& [model, body] = *static_cast<std::pair<DWORD, Body*>*>(context);
    if (FAILED(CoInitializeEx(nullptr, model))) return 1;
    (*body)();
    CoUninitialize();
    return 0;
}

template <class Body>
void in_apartment(DWORD model, Body body)
{
    std::pair<DWORD, Body*> context{model, &body};
    HANDLE thread = CreateThread(nullptr, 0, apartment_thread<Body>, &context, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    DWORD index = 0;
    const HRESULT hr = CoWaitForMultipleHandles(0, 300000, 1, &thread, &index);
    if (hr != S_OK) TerminateThread(thread, 2);
    DWORD code = 99;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(hr, S_OK) << "the other apartment did not finish: " << hex(hr);
    EXPECT_EQ(code, 0u);
}

// Wine's host apartment keeps the reference to the class object that it
// marshals for a creation from the multithreaded apartment (combase's
// apartment_hostobject releases it only when marshalling fails), so one
// lock on the module outlives the apartments. It is given back here, once:
// the module may then be unloaded only if nothing else of it is alive, no
// instance, proxy or stub included.
void give_back_the_host_apartments_reference(const LoadedModule& module)
{
    if (module.can_unload_now() == S_OK) return;
    Ref<IClassFactory> factory;
    ASSERT_EQ(module.get_class_object(expected::kClsid, IID_IClassFactory, factory.put_void()),
              S_OK);
    factory->Release();
}

class Apartments : public ModuleTest {
protected:
    void SetUp() override { ASSERT_EQ(host_.status(), S_OK) << hex(host_.status()); }
    void TearDown() override
    {
        EXPECT_EQ(module_.can_unload_now(), S_OK) << "the other apartments left something alive";
        ModuleTest::TearDown();
    }
    RegisteredHostLibrary host_;
};

TEST_F(Apartments, CreatedFromAMultithreadedApartment)
{
    in_apartment(COINIT_MULTITHREADED, [] {
        Ref<IServer> server;
        ASSERT_EQ(CoCreateInstance(expected::kClsid, nullptr, CLSCTX_INPROC_SERVER,
                                   expected::kServerIid, server.put_void()),
                  S_OK);
        EXPECT_TRUE(is_proxy(server.get())) << "created in this apartment";
        exercise(server.get());
    });
    give_back_the_host_apartments_reference(module_);
}

// Handed from this apartment to another one, where only proxies reach it.
TEST_F(Apartments, HandedToAnotherSingleThreadedApartment)
{
    Ref<IGlobalInterfaceTable> table;
    ASSERT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IGlobalInterfaceTable, table.put_void()),
              S_OK);
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    ASSERT_FALSE(is_proxy(server.get()));
    {
        SCOPED_TRACE("by stream");
        IStream* stream = nullptr;
        ASSERT_EQ(
            CoMarshalInterThreadInterfaceInStream(expected::kServerIid, server.get(), &stream),
            S_OK);
        in_apartment(COINIT_APARTMENTTHREADED, [stream] {
            Ref<IServer> proxy;
            ASSERT_EQ(
                CoGetInterfaceAndReleaseStream(stream, expected::kServerIid, proxy.put_void()),
                S_OK);
            EXPECT_TRUE(is_proxy(proxy.get()));
            exercise(proxy.get());
        });
        EXPECT_EQ(refcount(server.get()), 1u) << "a reference stayed with the other apartment";
    }
    {
        SCOPED_TRACE("through the global interface table");
        DWORD cookie = 0;
        ASSERT_EQ(table->RegisterInterfaceInGlobal(server.get(), expected::kServerIid, &cookie),
                  S_OK);
        in_apartment(COINIT_APARTMENTTHREADED, [&table, cookie] {
            Ref<IServer> proxy;
            ASSERT_EQ(table->GetInterfaceFromGlobal(cookie, expected::kServerIid, proxy.put_void()),
                      S_OK);
            EXPECT_TRUE(is_proxy(proxy.get()));
            exercise(proxy.get());
        });
        EXPECT_EQ(table->RevokeInterfaceFromGlobal(cookie), S_OK);
        EXPECT_EQ(refcount(server.get()), 1u) << "a reference stayed with the table";
    }
}

}  // namespace
