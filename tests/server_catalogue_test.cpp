// The default component catalogue: a new collection of 96 component GUIDs on
// every call, in a fixed order, each keyed by itself.
#include "test_support.h"

#include "runtime/variant.h"

using namespace testing_support;

namespace {

const std::vector<std::u16string> kExpectedCatalogue = client::expected_catalogue();

class DefaultComponents : public LeakCheckedTest {};

TEST_F(DefaultComponents, ReadByPositionKeyAndEnumerationGivesTheCatalogue)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());

    _Collection* list = nullptr;
    ASSERT_EQ(server->DefaultComponents(&list), S_OK);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(refcount(server.get()), refs);
    client::expect_whole_catalogue(list);

    // Nothing else holds the collection: the caller's release destroys it.
    EXPECT_EQ(list->Release(), 0u);
    EXPECT_EQ(refcount(server.get()), refs);
}

TEST_F(DefaultComponents, EveryCallAndEveryInstanceGivesItsOwnCollection)
{
    auto server = new_server();
    auto other_instance = new_server();
    const ULONG refs = refcount(server.get());

    rt::ComPtr<_Collection> first;
    rt::ComPtr<_Collection> second;
    ASSERT_EQ(server->DefaultComponents(first.put()), S_OK);
    ASSERT_EQ(server->DefaultComponents(second.put()), S_OK);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());

    // Emptying the first one leaves the second, and later answers, whole.
    for (LONG n = count_of(first.get()); n > 0; --n) {
        VARIANT last = long_value(n);
        ASSERT_EQ(first->Remove(&last), S_OK);
    }
    EXPECT_EQ(count_of(first.get()), 0);
    EXPECT_EQ(items_by_position(second.get()), kExpectedCatalogue);

    rt::ComPtr<_Collection> later;
    ASSERT_EQ(server->DefaultComponents(later.put()), S_OK);
    EXPECT_EQ(items_by_position(later.get()), kExpectedCatalogue);
    rt::ComPtr<_Collection> from_other;
    ASSERT_EQ(other_instance->DefaultComponents(from_other.put()), S_OK);
    EXPECT_EQ(items_by_position(from_other.get()), kExpectedCatalogue);

    // Elements handed out are copies: freeing one leaves the collection's.
    VARIANT one = long_value(1);
    rt::Variant a;
    rt::Variant b;
    ASSERT_EQ(second->Item(&one, a.put()), S_OK);
    ASSERT_EQ(second->Item(&one, b.put()), S_OK);
    ASSERT_EQ(a->vt, VT_BSTR);
    ASSERT_EQ(b->vt, VT_BSTR);
    EXPECT_NE(a->bstrVal, b->bstrVal);
    a.put();
    EXPECT_EQ(text_of(b->bstrVal), kExpectedCatalogue[0]);
    EXPECT_EQ(items_by_position(second.get()), kExpectedCatalogue);

    for (auto* list : {first.detach(), second.detach(), later.detach(), from_other.detach()})
        EXPECT_EQ(list->Release(), 0u);
    EXPECT_EQ(refcount(server.get()), refs);
}

TEST_F(DefaultComponents, StaleResultIsOverwrittenWithoutBeingReleased)
{
    auto server = new_server();
    _Collection* stale = nullptr;
    ASSERT_EQ(rt::create_collection(&stale), S_OK);
    const ULONG stale_refs = refcount(stale);

    _Collection* result = stale;
    ASSERT_EQ(server->DefaultComponents(&result), S_OK);
    EXPECT_NE(result, stale);
    EXPECT_EQ(refcount(stale), stale_refs);
    EXPECT_EQ(count_of(result), 96);
    EXPECT_EQ(result->Release(), 0u);
    EXPECT_EQ(stale->Release(), 0u);
}

TEST_F(DefaultComponents, EnumeratorOutlivesTheCallersReference)
{
    auto server = new_server();
    _Collection* list = nullptr;
    ASSERT_EQ(server->DefaultComponents(&list), S_OK);
    rt::ComPtr<IUnknown> unknown;
    ASSERT_EQ(list->_NewEnum(unknown.put()), S_OK);
    rt::ComPtr<IEnumVARIANT> enumerator;
    ASSERT_EQ(unknown->QueryInterface(IID_IEnumVARIANT, enumerator.put_void()), S_OK);
    unknown.reset();
    list->Release();

    std::vector<std::u16string> items;
    for (;;) {
        rt::Variant element;
        ULONG fetched = 0;
        if (enumerator->Next(1, element.put(), &fetched) != S_OK) break;
        ASSERT_EQ(element->vt, VT_BSTR);
        items.push_back(text_of(element->bstrVal));
    }
    EXPECT_EQ(items, kExpectedCatalogue);
}

}  // namespace
