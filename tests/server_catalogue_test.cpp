// The default component catalogue: a new collection of 96 component GUIDs on
// every call, in a fixed order, each keyed by itself.
#include "test_support.h"

#include "runtime/variant.h"

#include <algorithm>
#include <cctype>
#include <set>

using namespace testing_support;

namespace {

// Written out independently of the module's own table.
const std::vector<std::u16string> kExpectedCatalogue = {
    u"{E2657B80-7F5B-11d2-BF88-00C04F79999C}",  // 1
    u"{E2657B7F-7F5B-11d2-BF88-00C04F79999C}",  // 2
    u"{852452C1-575C-11d2-8520-00C04FCCA0C7}",  // 3
    u"{C0C3F7F1-66FE-11d2-8F3D-00C04F880E61}",  // 4
    u"{774132F9-7F55-11d2-BF88-00C04F79999C}",  // 5
    u"{77413308-7F55-11d2-BF88-00C04F79999C}",  // 6
    u"{77413309-7F55-11d2-BF88-00C04F79999C}",  // 7
    u"{7741330A-7F55-11d2-BF88-00C04F79999C}",  // 8
    u"{7741330B-7F55-11d2-BF88-00C04F79999C}",  // 9
    u"{77413306-7F55-11d2-BF88-00C04F79999C}",  // 10
    u"{7741330C-7F55-11d2-BF88-00C04F79999C}",  // 11
    u"{774132FC-7F55-11d2-BF88-00C04F79999C}",  // 12
    u"{3EE07679-F613-11d2-BFDE-00C04F79999C}",  // 13
    u"{774132FD-7F55-11d2-BF88-00C04F79999C}",  // 14
    u"{77413307-7F55-11d2-BF88-00C04F79999C}",  // 15
    u"{774132FE-7F55-11d2-BF88-00C04F79999C}",  // 16
    u"{0746BF49-7F57-11d2-BF88-00C04F79999C}",  // 17
    u"{77413300-7F55-11d2-BF88-00C04F79999C}",  // 18
    u"{77413301-7F55-11d2-BF88-00C04F79999C}",  // 19
    u"{010404D1-5D03-11d2-8F3B-00C04F880E61}",  // 20
    u"{010404D2-5D03-11d2-8F3B-00C04F880E61}",  // 21
    u"{77413302-7F55-11d2-BF88-00C04F79999C}",  // 22
    u"{77413303-7F55-11d2-BF88-00C04F79999C}",  // 23
    u"{77413304-7F55-11d2-BF88-00C04F79999C}",  // 24
    u"{77413305-7F55-11d2-BF88-00C04F79999C}",  // 25
    u"{0CB6D926-5775-11d2-8521-00C04FCCA0C7}",  // 26
    u"{0CB6D927-5775-11d2-8521-00C04FCCA0C7}",  // 27
    u"{E2657B82-7F5B-11d2-BF88-00C04F79999C}",  // 28
    u"{E2657B81-7F5B-11d2-BF88-00C04F79999C}",  // 29
    u"{FB6D6CB7-C467-11d2-A8F8-00C04F72FDB6}",  // 30
    u"{FB6D6CB8-C467-11d2-A8F8-00C04F72FDB6}",  // 31
    u"{E2657BA2-7F5B-11d2-BF88-00C04F79999C}",  // 32
    u"{E2657BA1-7F5B-11d2-BF88-00C04F79999C}",  // 33
    u"{4FDD7631-B44F-11d3-AE6D-00C04F7A74B4}",  // 34
    u"{4FDD7632-B44F-11d3-AE6D-00C04F7A74B4}",  // 35
    u"{E2657B84-7F5B-11d2-BF88-00C04F79999C}",  // 36
    u"{E2657B83-7F5B-11d2-BF88-00C04F79999C}",  // 37
    u"{1D7F6398-508D-11d3-BFA5-00C04F794409}",  // 38
    u"{EC61AE54-A471-11d2-BF5E-00C04F799D26}",  // 39
    u"{024DE190-2C54-11d4-8DA1-00C04F0778AE}",  // 40
    u"{024DE194-2C54-11d4-8DA1-00C04F0778AE}",  // 41
    u"{E2657B86-7F5B-11d2-BF88-00C04F79999C}",  // 42
    u"{E2657B85-7F5B-11d2-BF88-00C04F79999C}",  // 43
    u"{CEB6C95D-E243-11d2-BFCC-00C04F79999C}",  // 44
    u"{CEB6C95E-E243-11d2-BFCC-00C04F79999C}",  // 45
    u"{E2657B8C-7F5B-11d2-BF88-00C04F79999C}",  // 46
    u"{E2657B8B-7F5B-11d2-BF88-00C04F79999C}",  // 47
    u"{4B59F581-744D-11d2-BF65-00C04F794409}",  // 48
    u"{4B59F57D-744D-11d2-BF65-00C04F794409}",  // 49
    u"{E2657B8E-7F5B-11d2-BF88-00C04F79999C}",  // 50
    u"{E2657B8D-7F5B-11d2-BF88-00C04F79999C}",  // 51
    u"{E2657B90-7F5B-11d2-BF88-00C04F79999C}",  // 52
    u"{E2657B8F-7F5B-11d2-BF88-00C04F79999C}",  // 53
    u"{A02C9EA5-721D-11d2-BF64-00C04F794409}",  // 54
    u"{A02C9EA6-721D-11d2-BF64-00C04F794409}",  // 55
    u"{E2657B92-7F5B-11d2-BF88-00C04F79999C}",  // 56
    u"{E2657B91-7F5B-11d2-BF88-00C04F79999C}",  // 57
    u"{5AF24219-CB7C-11d2-A8F8-00C04F72FDB6}",  // 58
    u"{5AF2421A-CB7C-11d2-A8F8-00C04F72FDB6}",  // 59
    u"{E2657B94-7F5B-11d2-BF88-00C04F79999C}",  // 60
    u"{E2657B93-7F5B-11d2-BF88-00C04F79999C}",  // 61
    u"{E2657BA6-7F5B-11d2-BF88-00C04F79999C}",  // 62
    u"{E2657BA5-7F5B-11d2-BF88-00C04F79999C}",  // 63
    u"{852452C3-575C-11d2-8520-00C04FCCA0C7}",  // 64
    u"{B4FD0551-575F-11d2-8521-00C04FCCA0C7}",  // 65
    u"{E2657B96-7F5B-11d2-BF88-00C04F79999C}",  // 66
    u"{E2657B95-7F5B-11d2-BF88-00C04F79999C}",  // 67
    u"{560BC190-3FC8-11d3-AE0C-00C04FCC90B7}",  // 68
    u"{560BC191-3FC8-11d3-AE0C-00C04FCC90B7}",  // 69
    u"{5B8F7E14-72B9-11d2-BF64-00C04F794409}",  // 70
    u"{5B8F7E16-72B9-11d2-BF64-00C04F794409}",  // 71
    u"{67ADA9D1-6183-11d2-8F3C-00C04F880E61}",  // 72
    u"{4F1ABDD1-63E7-11d2-8F3D-00C04F880E61}",  // 73
    u"{5B8F7E15-72B9-11d2-BF64-00C04F794409}",  // 74
    u"{5B8F7E17-72B9-11d2-BF64-00C04F794409}",  // 75
    u"{5F2E1981-663C-11d2-8526-00C04FCCA0C7}",  // 76
    u"{E2657B9A-7F5B-11d2-BF88-00C04F79999C}",  // 77
    u"{E2657B99-7F5B-11d2-BF88-00C04F79999C}",  // 78
    u"{E2657B9C-7F5B-11d2-BF88-00C04F79999C}",  // 79
    u"{E2657B9B-7F5B-11d2-BF88-00C04F79999C}",  // 80
    u"{0CB6D929-5775-11d2-8521-00C04FCCA0C7}",  // 81
    u"{0CB6D92A-5775-11d2-8521-00C04FCCA0C7}",  // 82
    u"{0CB6D92B-5775-11d2-8521-00C04FCCA0C7}",  // 83
    u"{4F1ABDD3-63E7-11d2-8F3D-00C04F880E61}",  // 84
    u"{4B59F57F-744D-11d2-BF65-00C04F794409}",  // 85
    u"{4B59F57B-744D-11d2-BF65-00C04F794409}",  // 86
    u"{A08BAE21-0605-11d5-8E2E-00C04F0778AE}",  // 87
    u"{A08BAE25-0605-11d5-8E2E-00C04F0778AE}",  // 88
    u"{4B59F57E-744D-11d2-BF65-00C04F794409}",  // 89
    u"{4B59F57A-744D-11d2-BF65-00C04F794409}",  // 90
    u"{0CB6D921-5775-11d2-8521-00C04FCCA0C7}",  // 91
    u"{0CB6D925-5775-11d2-8521-00C04FCCA0C7}",  // 92
    u"{E2657BA0-7F5B-11d2-BF88-00C04F79999C}",  // 93
    u"{E2657B9F-7F5B-11d2-BF88-00C04F79999C}",  // 94
    u"{B71A8F5A-DAEF-4d31-BFC3-401AF9E09394}",  // 95
    u"{C834B0FC-F7CF-4760-9BC0-86CC9303D79E}",  // 96
};

class DefaultComponents : public LeakCheckedTest {};

TEST_F(DefaultComponents, ExpectedTableIsWellFormed)
{
    ASSERT_EQ(kExpectedCatalogue.size(), 96u);
    std::set<std::string> folded;
    for (const auto& guid : kExpectedCatalogue) {
        EXPECT_EQ(guid.size(), 38u) << printable(guid);
        std::string f = printable(guid);
        std::transform(f.begin(), f.end(), f.begin(), [](unsigned char c) { return std::tolower(c); });
        folded.insert(f);
    }
    EXPECT_EQ(folded.size(), 96u) << "entries must stay distinct without regard to case";
}

TEST_F(DefaultComponents, ReadByPositionKeyAndEnumerationGivesTheCatalogue)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());

    _Collection* list = nullptr;
    ASSERT_EQ(server->DefaultComponents(&list), S_OK);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(refcount(server.get()), refs);
    EXPECT_EQ(count_of(list), 96);

    struct Reading {
        const char* how;
        std::vector<std::u16string> items;
    };
    const Reading readings[] = {
        {"by position", items_by_position(list)},
        {"by key", items_by_key(list, kExpectedCatalogue)},
        {"by enumeration", items_by_enumeration(list)},
    };
    for (const Reading& r : readings) {
        SCOPED_TRACE(r.how);
        ASSERT_EQ(r.items.size(), kExpectedCatalogue.size());
        for (std::size_t i = 0; i < r.items.size(); ++i)
            EXPECT_EQ(r.items[i], kExpectedCatalogue[i])
                << "position " << i + 1 << ": " << printable(r.items[i]);
    }

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
