// Creating the class as clients do: CoCreateInstance by class identifier and
// by program identifier, the class object from CoGetClassObject and from the
// module's own export, interface queries on both faces, reference counts
// after every call, and DllCanUnloadNow while things are alive and after.
#include "wine_support.h"

#include <ocidl.h>

using namespace wt;

namespace {

// {A6EF9860-C720-11D0-9337-00A0C90DCAA9}: IDispatchEx, which script engines ask for first.
const IID kDispatchEx = {
    0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};
// {11111111-2222-3333-4444-555555555555}: nobody's interface.
const IID kNobody = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

struct Query {
    const char* name;
    const IID* iid;
    enum Answer { kDefaultFace, kServerFace, kErrorInfoFace, kRefused } answer;
};

const Query kQueries[] = {
    {"IUnknown", &IID_IUnknown, Query::kDefaultFace},
    {"IDispatch", &IID_IDispatch, Query::kDefaultFace},
    {"_CTivOrvantaZNA100", &expected::kDefaultIid, Query::kDefaultFace},
    {"IServer", &expected::kServerIid, Query::kServerFace},
    {"ISupportErrorInfo", &IID_ISupportErrorInfo, Query::kErrorInfoFace},
    {"IDispatchEx", &kDispatchEx, Query::kRefused},
    {"IClassFactory", &IID_IClassFactory, Query::kRefused},
    {"IProvideClassInfo", &IID_IProvideClassInfo, Query::kRefused},
    {"IPersist", &IID_IPersist, Query::kRefused},
    {"IPersistStreamInit", &IID_IPersistStreamInit, Query::kRefused},
    {"IConnectionPointContainer", &IID_IConnectionPointContainer, Query::kRefused},
    {"IEnumVARIANT", &IID_IEnumVARIANT, Query::kRefused},
    {"ITypeInfo", &IID_ITypeInfo, Query::kRefused},
    {"_Collection", &expected::kCollectionIid, Query::kRefused},
    {"class identifier", &expected::kClsid, Query::kRefused},
    {"library identifier", &expected::kLibid, Query::kRefused},
    {"host library identifier", &expected::kHostLibid, Query::kRefused},
    {"IID_NULL", &IID_NULL, Query::kRefused},
    {"an unknown identifier", &kNobody, Query::kRefused},
};

class Creation : public ModuleTest {};

TEST_F(Creation, ByClassIdentifierGivesOneReferenceOnTheAskedFace)
{
    for (const Query& q : kQueries) {
        SCOPED_TRACE(q.name);
        IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
        const HRESULT hr = CoCreateInstance(expected::kClsid, nullptr, CLSCTX_INPROC_SERVER, *q.iid,
                                            reinterpret_cast<void**>(&object));
        if (q.answer == Query::kRefused) {
            EXPECT_EQ(hr, E_NOINTERFACE) << hex(hr);
            EXPECT_EQ(object, nullptr);
            EXPECT_EQ(module_.can_unload_now(), S_OK) << "a refused instance stayed alive";
            continue;
        }
        ASSERT_EQ(hr, S_OK) << hex(hr);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(refcount(object), 1u);
        EXPECT_EQ(module_.can_unload_now(), S_FALSE);
        EXPECT_EQ(object->Release(), 0u);
    }
}

TEST_F(Creation, ByProgramIdentifierAsScriptsDo)
{
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(expected::kProgId, &clsid), S_OK);
    ASSERT_TRUE(IsEqualCLSID(clsid, expected::kClsid)) << printable(guid_text(clsid));

    Ref<IDispatch> object;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, object.put_void()), S_OK);
    EXPECT_EQ(refcount(object.get()), 1u);

    Ref<IServer> server;
    ASSERT_EQ(object->QueryInterface(expected::kServerIid, server.put_void()), S_OK);
    EXPECT_EQ(refcount(object.get()), 2u);
    Bstr name;
    EXPECT_EQ(server->get_Name(name.put()), S_OK);
    EXPECT_EQ(text_of(name.get()), as_text(expected::kName));
    EXPECT_EQ(refcount(object.get()), 2u);
    server.reset();
    EXPECT_EQ(refcount(object.get()), 1u);
}

TEST_F(Creation, QueryInterfaceTableOnEveryFace)
{
    Ref<IUnknown> object;
    ASSERT_EQ(CoCreateInstance(expected::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               object.put_void()),
              S_OK);
    ASSERT_EQ(refcount(object.get()), 1u);
    Ref<IUnknown> default_face;
    Ref<IUnknown> server_face;
    Ref<IUnknown> error_info_face;
    ASSERT_EQ(object->QueryInterface(expected::kDefaultIid, default_face.put_void()), S_OK);
    ASSERT_EQ(object->QueryInterface(expected::kServerIid, server_face.put_void()), S_OK);
    ASSERT_EQ(object->QueryInterface(IID_ISupportErrorInfo, error_info_face.put_void()), S_OK);
    EXPECT_EQ(refcount(object.get()), 4u);
    // Two faces and ISupportErrorInfo: the default face is what IUnknown and IDispatch give.
    EXPECT_EQ(default_face.get(), object.get());
    EXPECT_NE(server_face.get(), default_face.get());
    EXPECT_NE(error_info_face.get(), default_face.get());
    EXPECT_NE(error_info_face.get(), server_face.get());
    auto face_for = [&](Query::Answer answer) {
        return answer == Query::kDefaultFace  ? default_face.get()
               : answer == Query::kServerFace ? server_face.get()
                                              : error_info_face.get();
    };

    for (IUnknown* face : {default_face.get(), server_face.get(), error_info_face.get()}) {
        const char* face_name = face == default_face.get()  ? "from the default face"
                                : face == server_face.get() ? "from the IServer face"
                                                            : "from ISupportErrorInfo";
        for (const Query& q : kQueries) {
            SCOPED_TRACE(std::string(q.name) + " " + face_name);
            const ULONG before = refcount(object.get());
            IUnknown* got = reinterpret_cast<IUnknown*>(0x1);
            const HRESULT hr = face->QueryInterface(*q.iid, reinterpret_cast<void**>(&got));
            if (q.answer == Query::kRefused) {
                EXPECT_EQ(hr, E_NOINTERFACE) << hex(hr);
                EXPECT_EQ(got, nullptr);
                EXPECT_EQ(refcount(object.get()), before);
                continue;
            }
            ASSERT_EQ(hr, S_OK) << hex(hr);
            EXPECT_EQ(got, face_for(q.answer));
            // One object, one count, whichever face took the reference.
            EXPECT_EQ(refcount(object.get()), before + 1);
            EXPECT_EQ(refcount(face), before + 1);
            EXPECT_EQ(got->Release(), before);
        }
        EXPECT_EQ(face->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    }
    EXPECT_EQ(identity_of(server_face.get()), identity_of(default_face.get()));
    EXPECT_EQ(identity_of(error_info_face.get()), identity_of(default_face.get()));
    error_info_face.reset();
    server_face.reset();
    default_face.reset();
    EXPECT_EQ(refcount(object.get()), 1u);
}

TEST_F(Creation, AddRefAndReleaseAnswerTheCount)
{
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    EXPECT_EQ(server->AddRef(), 2u);
    EXPECT_EQ(server->AddRef(), 3u);
    EXPECT_EQ(server->Release(), 2u);
    EXPECT_EQ(server->Release(), 1u);
    EXPECT_EQ(module_.can_unload_now(), S_FALSE);
    EXPECT_EQ(server.detach()->Release(), 0u);
    EXPECT_EQ(module_.can_unload_now(), S_OK);
}

TEST_F(Creation, AggregationIsRefused)
{
    Ref<IServer> outer = create_server();  // any object will do as the would-be outer
    ASSERT_TRUE(outer);
    IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
    const HRESULT hr = CoCreateInstance(expected::kClsid, outer.get(), CLSCTX_INPROC_SERVER,
                                        IID_IUnknown, reinterpret_cast<void**>(&object));
    EXPECT_EQ(hr, CLASS_E_NOAGGREGATION) << hex(hr);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(refcount(outer.get()), 1u);
}

// ---- the class object ----

class ClassObject : public ModuleTest {
protected:
    Ref<IClassFactory> factory()
    {
        Ref<IClassFactory> f;
        const HRESULT hr = CoGetClassObject(expected::kClsid, CLSCTX_INPROC_SERVER, nullptr,
                                            IID_IClassFactory, f.put_void());
        EXPECT_EQ(hr, S_OK) << hex(hr);
        return f;
    }
};

TEST_F(ClassObject, EveryCreationGivesANewIndependentInstance)
{
    Ref<IClassFactory> f = factory();
    ASSERT_TRUE(f);
    Ref<IServer> first;
    Ref<IServer> second;
    ASSERT_EQ(f->CreateInstance(nullptr, expected::kServerIid, first.put_void()), S_OK);
    ASSERT_EQ(f->CreateInstance(nullptr, expected::kServerIid, second.put_void()), S_OK);
    EXPECT_NE(identity_of(first.get()), identity_of(second.get()));
    EXPECT_EQ(refcount(first.get()), 1u);
    EXPECT_EQ(refcount(second.get()), 1u);
    first.reset();
    // The second lives on alone.
    Bstr release;
    EXPECT_EQ(second->get_ReleaseNumber(release.put()), S_OK);
    EXPECT_EQ(text_of(release.get()), as_text(expected::kReleaseNumber));
    EXPECT_EQ(refcount(second.get()), 1u);
}

TEST_F(ClassObject, CreatesOnEveryFaceAndRefusesOtherInterfaces)
{
    Ref<IClassFactory> f = factory();
    ASSERT_TRUE(f);
    for (const Query& q : kQueries) {
        SCOPED_TRACE(q.name);
        IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
        const HRESULT hr = f->CreateInstance(nullptr, *q.iid, reinterpret_cast<void**>(&object));
        if (q.answer == Query::kRefused) {
            EXPECT_EQ(hr, E_NOINTERFACE) << hex(hr);
            EXPECT_EQ(object, nullptr);
            continue;
        }
        ASSERT_EQ(hr, S_OK) << hex(hr);
        EXPECT_EQ(refcount(object), 1u);
        EXPECT_EQ(object->Release(), 0u);
    }
}

TEST_F(ClassObject, AggregationIsRefusedAndNothingIsMade)
{
    Ref<IClassFactory> f = factory();
    ASSERT_TRUE(f);
    Ref<IServer> outer = create_server();
    ASSERT_TRUE(outer);
    for (const IID* iid : {&IID_IUnknown, &expected::kServerIid}) {
        IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
        EXPECT_EQ(f->CreateInstance(outer.get(), *iid, reinterpret_cast<void**>(&object)),
                  CLASS_E_NOAGGREGATION);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(refcount(outer.get()), 1u);
    outer.reset();
    f.reset();
    EXPECT_EQ(module_.can_unload_now(), S_OK);
}

TEST_F(ClassObject, AnswersForIUnknownAndIClassFactoryOnly)
{
    Ref<IClassFactory> f = factory();
    ASSERT_TRUE(f);
    Ref<IUnknown> unknown;
    EXPECT_EQ(f->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
    EXPECT_NE(unknown.get(), nullptr);
    Ref<IClassFactory> again;
    EXPECT_EQ(f->QueryInterface(IID_IClassFactory, again.put_void()), S_OK);
    EXPECT_NE(again.get(), nullptr);
    for (const IID* iid : {&IID_IClassFactory2, &IID_IDispatch, &expected::kServerIid, &kNobody}) {
        void* got = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(f->QueryInterface(*iid, &got), E_NOINTERFACE);
        EXPECT_EQ(got, nullptr);
    }
}

TEST_F(ClassObject, LockServerKeepsTheModuleInUse)
{
    {
        Ref<IClassFactory> f = factory();
        ASSERT_TRUE(f);
        EXPECT_EQ(f->LockServer(TRUE), S_OK);
        EXPECT_EQ(f->LockServer(TRUE), S_OK);
        f.reset();
        EXPECT_EQ(module_.can_unload_now(), S_FALSE) << "two locks are held";
    }
    Ref<IClassFactory> f = factory();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->LockServer(FALSE), S_OK);
    f.reset();
    EXPECT_EQ(module_.can_unload_now(), S_FALSE) << "one lock is held";
    f = factory();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->LockServer(FALSE), S_OK);
    f.reset();
    EXPECT_EQ(module_.can_unload_now(), S_OK);
}

// ---- the module's exports ----

class Exports : public ModuleTest {};

TEST_F(Exports, TheFourEntryPointsByNameAndOrdinal)
{
    ASSERT_NE(module_.handle(), nullptr);
    const char* const names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                 "DllUnregisterServer"};
    for (WORD ordinal = 1; ordinal <= 4; ++ordinal) {
        SCOPED_TRACE(names[ordinal - 1]);
        const FARPROC by_name = module_.entry(names[ordinal - 1]);
        EXPECT_NE(by_name, nullptr);
        EXPECT_EQ(GetProcAddress(module_.handle(), MAKEINTRESOURCEA(ordinal)), by_name);
    }
}

TEST_F(Exports, DllGetClassObjectKnowsOnlyTheClass)
{
    const GUID* const others[] = {&expected::kLibid,     &expected::kDefaultIid,
                                  &expected::kServerIid, &expected::kHostLibid,
                                  &CLSID_NULL,           &kNobody};
    for (const GUID* clsid : others) {
        SCOPED_TRACE(printable(guid_text(*clsid)));
        void* object = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(module_.get_class_object(*clsid, IID_IClassFactory, &object),
                  CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(module_.can_unload_now(), S_OK);
}

TEST_F(Exports, DllGetClassObjectHandsOutTheClassObject)
{
    Ref<IClassFactory> f;
    ASSERT_EQ(module_.get_class_object(expected::kClsid, IID_IClassFactory, f.put_void()), S_OK);
    ASSERT_TRUE(f);
    Ref<IUnknown> unknown;
    EXPECT_EQ(module_.get_class_object(expected::kClsid, IID_IUnknown, unknown.put_void()), S_OK);
    EXPECT_NE(unknown.get(), nullptr);
    void* refused = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(module_.get_class_object(expected::kClsid, IID_IDispatch, &refused), E_NOINTERFACE);
    EXPECT_EQ(refused, nullptr);

    Ref<IServer> server;
    ASSERT_EQ(f->CreateInstance(nullptr, expected::kServerIid, server.put_void()), S_OK);
    EXPECT_EQ(refcount(server.get()), 1u);
}

TEST_F(Exports, DllCanUnloadNowFollowsEverythingTheModuleHandsOut)
{
    ASSERT_EQ(module_.can_unload_now(), S_OK) << "nothing is outstanding yet";

    // An instance.
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    EXPECT_EQ(module_.can_unload_now(), S_FALSE);

    // A collection it handed out outlives it.
    Ref<_Collection> list;
    ASSERT_EQ(server->DefaultComponents(list.put()), S_OK);
    server.reset();
    EXPECT_EQ(module_.can_unload_now(), S_FALSE) << "a collection is alive";

    // So does an enumerator of the collection.
    Ref<IUnknown> enumerator;
    ASSERT_EQ(list->_NewEnum(enumerator.put()), S_OK);
    list.reset();
    EXPECT_EQ(module_.can_unload_now(), S_FALSE) << "an enumerator is alive";
    enumerator.reset();
    EXPECT_EQ(module_.can_unload_now(), S_OK);

    // The class object while it is held.
    Ref<IClassFactory> f;
    ASSERT_EQ(CoGetClassObject(expected::kClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               f.put_void()),
              S_OK);
    EXPECT_EQ(module_.can_unload_now(), S_FALSE) << "the class object is held";
    f.reset();
    EXPECT_EQ(module_.can_unload_now(), S_OK);
}

}  // namespace
