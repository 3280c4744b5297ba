// Type information through the object's two faces: the default face
// describes _CTivOrvantaZNA100 from the module's own library; the IServer
// face describes IServer from the host's library, and only when that
// library was registered at the instance's first dispatch call.
#include "wine_support.h"

using namespace wt;

namespace {

struct TypeFacts {
    GUID guid{};
    TYPEKIND kind = TKIND_MAX;
    std::wstring name;
};

TypeFacts facts_of(ITypeInfo* info)
{
    TypeFacts facts;
    TYPEATTR* attr = nullptr;
    EXPECT_EQ(info->GetTypeAttr(&attr), S_OK);
    if (attr) {
        facts.guid = attr->guid;
        facts.kind = attr->typekind;
        info->ReleaseTypeAttr(attr);
    }
    BSTR name = nullptr;
    EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
    facts.name = text_of(name);
    SysFreeString(name);
    return facts;
}

class ObjectTypeInfo : public ServerTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ServerTest::SetUp());
        ASSERT_EQ(server_->QueryInterface(expected::kDefaultIid, default_face_.put_void()), S_OK);
    }
    void TearDown() override
    {
        default_face_.reset();
        ServerTest::TearDown();
    }

    Ref<IDispatch> default_face_;
};

TEST_F(ObjectTypeInfo, TheDefaultFaceDescribesTheDefaultInterface)
{
    UINT count = 12345;
    ASSERT_EQ(default_face_->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);

    for (LCID lcid : {LCID(0), LCID(1033), LOCALE_USER_DEFAULT}) {
        Ref<ITypeInfo> info;
        ASSERT_EQ(default_face_->GetTypeInfo(0, lcid, info.put()), S_OK) << lcid;
        ASSERT_TRUE(info);
        const TypeFacts facts = facts_of(info.get());
        EXPECT_TRUE(IsEqualGUID(facts.guid, expected::kDefaultIid))
            << printable(guid_text(facts.guid));
        EXPECT_EQ(facts.kind, TKIND_DISPATCH);
        EXPECT_EQ(facts.name, L"_CTivOrvantaZNA100");
    }
    EXPECT_EQ(refcount(server_.get()), 2u) << "type information holds no reference on the object";

    ITypeInfo* none = reinterpret_cast<ITypeInfo*>(0x1);
    EXPECT_EQ(default_face_->GetTypeInfo(1, 0, &none), DISP_E_BADINDEX);
    EXPECT_EQ(none, nullptr);
}

TEST_F(ObjectTypeInfo, TheServerFaceWithoutTheHostLibrary)
{
    ASSERT_FALSE(host_library_registered())
        << "TivDefn is registered on this machine; run in a fresh prefix";
    // No type information: the count is 0 and no index names any.
    UINT count = 12345;
    ASSERT_EQ(server_->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    for (UINT index : {0u, 1u}) {
        ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
        EXPECT_EQ(server_->GetTypeInfo(index, 0, &info), DISP_E_BADINDEX) << index;
        EXPECT_EQ(info, nullptr);
    }
    EXPECT_EQ(refcount(server_.get()), 2u);
}

TEST_F(ObjectTypeInfo, TheServerFaceWithTheHostLibraryRegistered)
{
    RegisteredHostLibrary host;
    ASSERT_EQ(host.status(), S_OK) << hex(host.status());
    UINT count = 12345;
    ASSERT_EQ(server_->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    {
        Ref<ITypeInfo> info;
        ASSERT_EQ(server_->GetTypeInfo(0, 0, info.put()), S_OK);
        ASSERT_TRUE(info);
        const TypeFacts facts = facts_of(info.get());
        EXPECT_TRUE(IsEqualGUID(facts.guid, expected::kServerIid))
            << printable(guid_text(facts.guid));
        EXPECT_EQ(facts.name, L"IServer");
        EXPECT_TRUE(facts.kind == TKIND_DISPATCH || facts.kind == TKIND_INTERFACE) << facts.kind;

        // The members it describes are the ones the face answers to.
        for (UINT i = 0; i < 9; ++i) {
            std::wstring name = as_text(expected::kServerMembers[i].name);
            LPOLESTR names[1] = {name.data()};
            MEMBERID described = 0;
            EXPECT_EQ(info->GetIDsOfNames(names, 1, &described), S_OK) << printable(name);
            HRESULT hr = E_FAIL;
            EXPECT_EQ(id_of_name(server_.get(), name.c_str(), &hr), described) << printable(name);
            EXPECT_EQ(hr, S_OK);
        }
    }
    ITypeInfo* none = reinterpret_cast<ITypeInfo*>(0x1);
    EXPECT_EQ(server_->GetTypeInfo(1, 0, &none), DISP_E_BADINDEX);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(refcount(server_.get()), 2u);
}

}  // namespace
