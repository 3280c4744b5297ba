// Who the server kind is: five constant texts, each handed out as a new
// string that belongs to the caller.
#include "test_support.h"

using namespace testing_support;

namespace {

using client::IdentityMember;
using client::kIdentityMembers;

class ServerIdentity : public LeakCheckedTest {};

TEST_F(ServerIdentity, EachMemberAnswersItsExactTextInNewStringsOwnedByTheCaller)
{
    auto server = new_server();
    auto other_instance = new_server();
    const ULONG refs = refcount(server.get());

    for (const IdentityMember& m : kIdentityMembers) {
        SCOPED_TRACE(m.name);
        IServer* s = server.get();

        // Exact text, length, byte length, terminator.
        rt::BStr first;
        ASSERT_EQ((s->*m.member)(first.put()), S_OK);
        ASSERT_NE(first.get(), nullptr);
        EXPECT_EQ(SysStringLen(first.get()), m.length);
        EXPECT_EQ(SysStringByteLen(first.get()), m.length * 2);
        EXPECT_EQ(first.get()[m.length], u'\0');
        EXPECT_EQ(text_of(first.get()), m.text) << printable(text_of(first.get()));
        EXPECT_EQ(refcount(s), refs);

        // A second call gives equal text in a distinct string; changing and
        // freeing the first touches neither the second nor later answers.
        rt::BStr second;
        ASSERT_EQ((s->*m.member)(second.put()), S_OK);
        EXPECT_NE(second.get(), first.get());
        first.get()[0] = u'#';
        first.reset();
        EXPECT_EQ(text_of(second.get()), m.text);
        rt::BStr third;
        ASSERT_EQ((s->*m.member)(third.put()), S_OK);
        EXPECT_EQ(text_of(third.get()), m.text);

        // A stale result variable is overwritten, not freed: the stale string
        // stays alive until its owner frees it.
        BSTR stale = SysAllocString(u"stale");
        BSTR result = stale;
        const long strings_before = rt::live_strings();
        ASSERT_EQ((s->*m.member)(&result), S_OK);
        ASSERT_EQ(rt::live_strings(), strings_before + 1) << "the stale string was freed";
        EXPECT_NE(result, stale);
        EXPECT_EQ(text_of(result), m.text);
        EXPECT_EQ(text_of(stale), u"stale");
        SysFreeString(result);
        SysFreeString(stale);

        // Another instance answers alike.
        rt::BStr from_other;
        ASSERT_EQ((other_instance.get()->*m.member)(from_other.put()), S_OK);
        EXPECT_EQ(text_of(from_other.get()), m.text);

        EXPECT_EQ(refcount(s), refs);
    }
}

TEST_F(ServerIdentity, NameAndDescriptionAreTwoSeparateStrings)
{
    auto server = new_server();
    rt::BStr name;
    rt::BStr description;
    ASSERT_EQ(server->get_Name(name.put()), S_OK);
    ASSERT_EQ(server->get_Description(description.put()), S_OK);
    EXPECT_NE(name.get(), description.get());
    name.reset();
    EXPECT_EQ(text_of(description.get()), expected::kDescription);
}

// Identifiers are written once, as text, and read at compile time: text that
// is not a GUID in registry form must never compile into a wrong identifier.
// tests/compile_fail/guid_text.cpp proves that guid_of refuses it.
constexpr std::string_view kMalformedGuidTexts[] = {
    "{68A285B0-5582-4720-A801-BFCEF626BBD6}0",  // 39 characters
    "{68A285B0-5582-4720-A801-BFCEF626BBD}",    // 37 characters
    "68A285B0-5582-4720-A801-BFCEF626BBD6",     // no braces
    "(68A285B0-5582-4720-A801-BFCEF626BBD6)",   // other brackets
    "{68A285B0-5582-4720-A801-BFCEF626BBD6]",   // unbalanced
    "{68A285B0_5582-4720-A801-BFCEF626BBD6}",   // a hyphen replaced
    "{68A285B05-582-4720-A801-BFCEF626BBD6}",   // a hyphen moved
    "{68A285B0-5582-4720-A801-BFCEF626BBDG}",   // 'G'
    "{68A285B0-5582-4720-A801-BFCEF626BB D6}",  // a space
    "",
};
constexpr bool none_is_guid_text()
{
    for (std::string_view text : kMalformedGuidTexts)
        if (orvanta::is_guid_text(text)) return false;
    return true;
}
static_assert(none_is_guid_text());
static_assert(orvanta::is_guid_text("{68a285b0-5582-4720-a801-bfcef626bbd6}"));
static_assert(orvanta::guid_of("{0190584F-0F1B-4C7F-87AD-8BD51D2E8B4E}").Data4[7] == 0x4E);

}  // namespace
