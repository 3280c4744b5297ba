// The five identity members through IServer's vtable: exact text, new
// strings owned by the caller, the instance's count unchanged.
#include "wine_support.h"

using namespace wt;

namespace {

class Identity : public ServerTest {};

TEST_F(Identity, EachMemberAnswersItsExactTextInANewString)
{
    Ref<IServer> other = create_server();
    ASSERT_TRUE(other);
    for (const IdentityMember& m : kIdentityMembers) {
        SCOPED_TRACE(m.name);
        Bstr first;
        ASSERT_EQ((server_.get()->*m.member)(first.put()), S_OK);
        ASSERT_NE(first.get(), nullptr);
        EXPECT_EQ(refcount(server_.get()), 1u);
        EXPECT_EQ(SysStringLen(first.get()), m.length);
        EXPECT_EQ(SysStringByteLen(first.get()), m.length * 2);
        EXPECT_EQ(first.get()[m.length], L'\0');
        EXPECT_EQ(text_of(first.get()), as_text(m.text)) << printable(text_of(first.get()));

        // Another call: equal text in a distinct string, untouched by what
        // the caller does to the first.
        Bstr second;
        ASSERT_EQ((server_.get()->*m.member)(second.put()), S_OK);
        EXPECT_NE(second.get(), first.get());
        first.get()[0] = L'#';
        first.reset();
        EXPECT_EQ(text_of(second.get()), as_text(m.text));
        Bstr third;
        ASSERT_EQ((server_.get()->*m.member)(third.put()), S_OK);
        EXPECT_EQ(text_of(third.get()), as_text(m.text));

        // A result variable that holds something on entry gets the new text.
        BSTR stale = SysAllocString(L"stale");
        BSTR result = stale;
        ASSERT_EQ((server_.get()->*m.member)(&result), S_OK);
        EXPECT_NE(result, stale);
        EXPECT_EQ(text_of(result), as_text(m.text));
        SysFreeString(result);
        SysFreeString(stale);

        // Another instance answers alike.
        Bstr from_other;
        ASSERT_EQ((other.get()->*m.member)(from_other.put()), S_OK);
        EXPECT_EQ(text_of(from_other.get()), as_text(m.text));
        EXPECT_EQ(refcount(server_.get()), 1u);
        EXPECT_EQ(refcount(other.get()), 1u);
    }
}

TEST_F(Identity, TheLettersAreExact)
{
    Bstr category;
    Bstr guid;
    Bstr release;
    ASSERT_EQ(server_->ServerCategory(category.put()), S_OK);
    ASSERT_EQ(server_->get_ServerGUID(guid.put()), S_OK);
    ASSERT_EQ(server_->get_ReleaseNumber(release.put()), S_OK);
    EXPECT_EQ(text_of(category.get()).substr(15, 4), L"11d2");
    EXPECT_EQ(text_of(guid.get()).substr(15, 4), L"4ff4");
    EXPECT_EQ(text_of(release.get()).substr(0, 1), L"R");
    EXPECT_NE(text_of(category.get()), text_of(guid.get()));
}

TEST_F(Identity, NameAndDescriptionAreTwoSeparateStrings)
{
    Bstr name;
    Bstr description;
    ASSERT_EQ(server_->get_Name(name.put()), S_OK);
    ASSERT_EQ(server_->get_Description(description.put()), S_OK);
    EXPECT_NE(name.get(), description.get());
    name.reset();
    EXPECT_EQ(text_of(description.get()), as_text(expected::kDescription));
}

}  // namespace
