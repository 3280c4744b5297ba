// DefaultComponents through IServer's vtable: a new collection for every
// call, owned by the caller alone, holding the 96 catalogue entries in order,
// each under itself as key; read by position, by key and by enumeration.
#include "wine_support.h"

using namespace wt;

namespace {

// An instance and the collection of its first DefaultComponents call.
class Catalogue : public ServerTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ServerTest::SetUp());
        ASSERT_EQ(server_->DefaultComponents(list_.put()), S_OK);
        ASSERT_TRUE(list_);
    }
    void TearDown() override
    {
        list_.reset();
        ServerTest::TearDown();
    }

    Ref<_Collection> list_;
};

TEST_F(Catalogue, ANewCollectionOwnedByTheCaller)
{
    EXPECT_EQ(refcount(list_.get()), 1u) << "the caller holds the only reference";
    EXPECT_EQ(refcount(server_.get()), 1u) << "the instance keeps nothing of the call";

    // The collection answers for its interfaces and nothing else.
    for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &expected::kCollectionIid}) {
        Ref<IUnknown> face;
        EXPECT_EQ(list_->QueryInterface(*iid, face.put_void()), S_OK) << printable(guid_text(*iid));
        EXPECT_EQ(refcount(list_.get()), 2u);
    }
    for (const IID* iid : {&IID_IEnumVARIANT, &expected::kServerIid, &IID_IClassFactory}) {
        void* face = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(list_->QueryInterface(*iid, &face), E_NOINTERFACE) << printable(guid_text(*iid));
        EXPECT_EQ(face, nullptr);
    }
    EXPECT_EQ(refcount(list_.get()), 1u);
}

TEST_F(Catalogue, AllEntriesByPositionByKeyAndByEnumeration)
{
    expect_whole_catalogue(list_.get());
    EXPECT_EQ(refcount(list_.get()), 1u);
    EXPECT_EQ(refcount(server_.get()), 1u);
}

TEST_F(Catalogue, KnownEntries)
{
    const std::vector<std::wstring> items = items_by_position(list_.get());
    ASSERT_EQ(items.size(), 96u);
    EXPECT_EQ(items[0], L"{E2657B80-7F5B-11d2-BF88-00C04F79999C}");
    EXPECT_EQ(items[1], L"{E2657B7F-7F5B-11d2-BF88-00C04F79999C}");
    EXPECT_EQ(items[95], L"{C834B0FC-F7CF-4760-9BC0-86CC9303D79E}");
    EXPECT_EQ(items[0].substr(15, 4), L"11d2");
    EXPECT_EQ(items_by_key(list_.get(), {L"{852452C1-575C-11d2-8520-00C04FCCA0C7}"}),
              std::vector<std::wstring>{items[2]});
}

TEST_F(Catalogue, PositionsOutsideTheListAndUnknownKeysRaiseTheCollectionErrors)
{
    for (LONG position : {0L, -1L, 97L, 1000L}) {
        VARIANT index = long_value(position);
        Variant value;
        EXPECT_EQ(list_->Item(&index, value.put()), static_cast<HRESULT>(0x800A0009)) << position;
        EXPECT_EQ(value->vt, VT_EMPTY);
    }
    for (const wchar_t* key : {L"", L"{00000000-0000-0000-0000-000000000000}", L"1"}) {
        Bstr text(key);
        VARIANT index = string_value(text.get());
        Variant value;
        EXPECT_EQ(list_->Item(&index, value.put()), static_cast<HRESULT>(0x800A0005))
            << printable(key);
        EXPECT_EQ(value->vt, VT_EMPTY);
    }
    EXPECT_EQ(refcount(list_.get()), 1u);
}

TEST_F(Catalogue, EveryCallMakesItsOwnCollection)
{
    Ref<IServer> other = create_server();
    ASSERT_TRUE(other);
    Ref<_Collection> second;
    Ref<_Collection> from_other;
    ASSERT_EQ(server_->DefaultComponents(second.put()), S_OK);
    ASSERT_EQ(other->DefaultComponents(from_other.put()), S_OK);
    ASSERT_TRUE(second && from_other);
    EXPECT_NE(identity_of(list_.get()), identity_of(second.get()));

    // Changing the first touches neither the second nor a later answer.
    VARIANT one = long_value(1);
    ASSERT_EQ(list_->Remove(&one), S_OK);
    EXPECT_EQ(count_of(list_.get()), 95);
    const std::vector<std::wstring> want = expected_catalogue();
    EXPECT_EQ(items_by_position(second.get()), want);
    Ref<_Collection> third;
    ASSERT_EQ(server_->DefaultComponents(third.put()), S_OK);
    EXPECT_EQ(items_by_position(third.get()), want);
    EXPECT_EQ(items_by_position(from_other.get()), want);
    for (_Collection* c : {list_.get(), second.get(), third.get(), from_other.get()})
        EXPECT_EQ(refcount(c), 1u);
    EXPECT_EQ(refcount(server_.get()), 1u);
}

TEST_F(Catalogue, AStaleResultVariableIsOverwrittenNotReleased)
{
    _Collection* result = list_.get();
    ASSERT_EQ(server_->DefaultComponents(&result), S_OK);
    Ref<_Collection> fresh = Ref<_Collection>::adopt(result);
    EXPECT_NE(fresh.get(), list_.get());
    EXPECT_EQ(refcount(list_.get()), 1u) << "the stale reference was released by the call";
    EXPECT_EQ(refcount(fresh.get()), 1u);
    EXPECT_EQ(count_of(fresh.get()), 96);
}

TEST_F(Catalogue, AnEnumeratorHoldsItsCollection)
{
    Ref<IUnknown> unknown;
    ASSERT_EQ(list_->_NewEnum(unknown.put()), S_OK);
    ASSERT_TRUE(unknown);
    EXPECT_EQ(refcount(unknown.get()), 1u);
    EXPECT_EQ(refcount(list_.get()), 2u);
    Ref<IEnumVARIANT> items;
    ASSERT_EQ(unknown->QueryInterface(IID_IEnumVARIANT, items.put_void()), S_OK);
    EXPECT_EQ(refcount(unknown.get()), 2u);
    unknown.reset();
    list_.reset();

    // Still readable through the enumerator alone: Next fills what it can,
    // sets the count and answers S_FALSE when it runs out.
    VARIANT values[100];
    ULONG fetched = 12345;
    EXPECT_EQ(items->Next(100, values, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 96u);
    const std::vector<std::wstring> want = expected_catalogue();
    for (ULONG i = 0; i < fetched && i < 96; ++i) {
        EXPECT_EQ(values[i].vt, VT_BSTR);
        if (values[i].vt == VT_BSTR) {
            EXPECT_EQ(text_of(values[i].bstrVal), want[i]) << i;
        }
        VariantClear(&values[i]);
    }
    fetched = 12345;
    EXPECT_EQ(items->Next(1, values, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(items->Reset(), S_OK);
    EXPECT_EQ(items->Skip(95), S_OK);
    fetched = 0;
    ASSERT_EQ(items->Next(1, values, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    ASSERT_EQ(values[0].vt, VT_BSTR);
    EXPECT_EQ(text_of(values[0].bstrVal), want[95]);
    VariantClear(&values[0]);
    EXPECT_EQ(refcount(items.get()), 1u);
}

}  // namespace
