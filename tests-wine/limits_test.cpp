// GetMaximumLimit through IServer's vtable: every row of the limit table,
// the catalogue entries without a row, and text that only resembles a row
// (other letter case, blanks, missing braces, empty and null strings).
#include "wine_support.h"

using namespace wt;

namespace {

struct Answer {
    HRESULT status;
    VARIANT_BOOL family_total;
    LONG maximum;
};

// Asks with the given starting FamilyTotal, and checks that the caller's
// ComponentGUID variable and its text come back untouched.
Answer ask(IServer* server, BSTR guid, VARIANT_BOOL family_total_in)
{
    const std::wstring before = text_of(guid);
    BSTR argument = guid;
    Answer a{E_UNEXPECTED, family_total_in, 12345};
    a.status = server->GetMaximumLimit(&argument, &a.family_total, &a.maximum);
    EXPECT_EQ(argument, guid) << "the caller's variable was changed";
    EXPECT_EQ(text_of(guid), before) << "the caller's string was changed";
    return a;
}

void expect_answer(IServer* server, const std::wstring& text, bool family_total, LONG maximum)
{
    SCOPED_TRACE(narrow(text));
    Bstr guid(text);
    for (VARIANT_BOOL start : {VARIANT_FALSE, VARIANT_TRUE, VARIANT_BOOL{0x1234}}) {
        const Answer a = ask(server, guid.get(), start);
        EXPECT_EQ(a.status, S_OK) << hex(a.status);
        EXPECT_EQ(a.family_total, family_total ? VARIANT_TRUE : VARIANT_FALSE) << "passed in as " << start;
        EXPECT_EQ(a.maximum, maximum);
    }
}

std::wstring with_case(std::wstring text, bool upper)
{
    for (wchar_t& c : text) {
        if (upper && c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
        if (!upper && c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    }
    return text;
}

// Texts that resemble a GUID without being it.
std::vector<std::wstring> lookalikes(const std::wstring& g)
{
    std::wstring third_group_upper = g;
    third_group_upper.replace(15, 4, with_case(g.substr(15, 4), true));
    std::wstring no_hyphens;
    for (wchar_t c : g)
        if (c != L'-') no_hyphens += c;
    std::vector<std::wstring> all = {
        with_case(g, false),
        with_case(g, true),
        third_group_upper,
        g.substr(1, 36),  // without braces
        g.substr(0, 37),  // without the closing brace
        g.substr(1),      // without the opening brace
        L" " + g,
        g + L" ",
        L"\t" + g,
        g + std::wstring(1, L'\0'),  // a trailing zero unit
        no_hyphens,
    };
    std::vector<std::wstring> differing;
    for (std::wstring& s : all)
        if (s != g) differing.push_back(std::move(s));
    return differing;
}

class Limits : public ModuleTest {};

TEST_F(Limits, ExpectedTableHasItsKnownShape)
{
    int listed = 0, nines = 0, two_fifty_fives = 0, family_false = 0;
    for (const expected::LimitRow& r : expected::kLimitRows) {
        EXPECT_EQ(std::wstring(r.guid).size(), 38u);
        listed += r.catalogue_position != 0;
        nines += r.maximum == 99;
        two_fifty_fives += r.maximum == 255;
        family_false += !r.family_total;
        if (r.catalogue_position != 0) {
            EXPECT_STREQ(expected::kCatalogue[r.catalogue_position - 1], r.guid);
        }
    }
    EXPECT_EQ(listed, 71);
    EXPECT_EQ(nines, 36);
    EXPECT_EQ(two_fifty_fives, 34);
    EXPECT_EQ(family_false, 1);
}

TEST_F(Limits, EveryRowAnswersItsMaximumAndFamilyTotal)
{
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    for (const expected::LimitRow& r : expected::kLimitRows) {
        expect_answer(server.get(), r.guid, r.family_total, r.maximum);
        EXPECT_EQ(refcount(server.get()), 1u);
    }
}

TEST_F(Limits, CatalogueEntriesWithoutARowGetTheDefault)
{
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    int without_row = 0;
    for (int position = 1; position <= 96; ++position) {
        bool has_row = false;
        for (const expected::LimitRow& r : expected::kLimitRows) has_row |= r.catalogue_position == position;
        if (has_row) continue;
        ++without_row;
        expect_answer(server.get(), expected::kCatalogue[position - 1], false, -1);
    }
    EXPECT_EQ(without_row, 25);  // positions 3 to 25, 95 and 96
    EXPECT_EQ(refcount(server.get()), 1u);
}

TEST_F(Limits, KnownAnswers)
{
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    expect_answer(server.get(), L"{E2657B80-7F5B-11d2-BF88-00C04F79999C}", true, 99);
    expect_answer(server.get(), L"{E2657B7F-7F5B-11d2-BF88-00C04F79999C}", true, 255);
    expect_answer(server.get(), L"{4B59F580-744D-11d2-BF65-00C04F794409}", true, 99);
    expect_answer(server.get(), L"{5D7008A4-AF7D-4c2d-9091-BED591F08C8C}", false, 65000);
    expect_answer(server.get(), L"{0CB6D92B-5775-11d2-8521-00C04FCCA0C7}", true, 65000);
    expect_answer(server.get(), L"{4F1ABDD1-63E7-11d2-8F3D-00C04F880E61}", true, 160);
    expect_answer(server.get(), L"{67ADA9D1-6183-11d2-8F3C-00C04F880E61}", true, 50);
    expect_answer(server.get(), L"{5F2E1981-663C-11d2-8526-00C04FCCA0C7}", true, 1);
    expect_answer(server.get(), L"{852452C1-575C-11d2-8520-00C04FCCA0C7}", false, -1);
}

TEST_F(Limits, TextThatOnlyResemblesARowGetsTheDefault)
{
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    for (const expected::LimitRow& r : expected::kLimitRows)
        for (const std::wstring& text : lookalikes(r.guid)) expect_answer(server.get(), text, false, -1);
    EXPECT_EQ(refcount(server.get()), 1u);
}

TEST_F(Limits, EmptyNullAndBlankTextGetTheDefault)
{
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    for (VARIANT_BOOL start : {VARIANT_TRUE, VARIANT_FALSE}) {
        const Answer a = ask(server.get(), nullptr, start);  // the null string
        EXPECT_EQ(a.status, S_OK);
        EXPECT_EQ(a.family_total, VARIANT_FALSE);
        EXPECT_EQ(a.maximum, -1);
    }
    for (const std::wstring& text : {std::wstring(), std::wstring(1, L'\0'), std::wstring(L" "),
                                     std::wstring(38, L' ')})
        expect_answer(server.get(), text, false, -1);
    EXPECT_EQ(refcount(server.get()), 1u);
}

TEST_F(Limits, SameAnswerOnAnotherInstanceAndOnRepeat)
{
    Ref<IServer> first = create_server();
    Ref<IServer> second = create_server();
    ASSERT_TRUE(first && second);
    for (const expected::LimitRow& r : expected::kLimitRows) {
        Bstr guid(r.guid);
        const Answer a = ask(first.get(), guid.get(), VARIANT_FALSE);
        const Answer b = ask(second.get(), guid.get(), VARIANT_FALSE);
        const Answer c = ask(first.get(), guid.get(), VARIANT_TRUE);
        EXPECT_EQ(a.maximum, b.maximum);
        EXPECT_EQ(a.maximum, c.maximum);
        EXPECT_EQ(a.family_total, b.family_total);
        EXPECT_EQ(a.family_total, c.family_total);
    }
}

}  // namespace
