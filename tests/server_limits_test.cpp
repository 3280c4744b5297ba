// Component limits: the maximum and FamilyTotal for a component GUID, found by
// exact comparison against a table of 81 rows; anything else gets (False, -1).
#include "test_support.h"

#include "definition/limits.h"

#include <cstdint>

using namespace testing_support;
using namespace std::literals;

namespace {

struct Row {
    std::u16string_view guid;
    bool family_total;
    LONG maximum;
    int catalogue_position;  // 0: not in the catalogue
};

// Written out independently of the module's own table, in its order.
const Row kRows[] = {
    {u"{E2657B80-7F5B-11d2-BF88-00C04F79999C}", true, 99, 1},  // 1
    {u"{E2657B7F-7F5B-11d2-BF88-00C04F79999C}", true, 255, 2},  // 2
    {u"{4B59F580-744D-11d2-BF65-00C04F794409}", true, 99, 0},  // 3
    {u"{4B59F57C-744D-11d2-BF65-00C04F794409}", true, 99, 0},  // 4
    {u"{0CB6D926-5775-11d2-8521-00C04FCCA0C7}", true, 99, 26},  // 5
    {u"{0CB6D927-5775-11d2-8521-00C04FCCA0C7}", true, 255, 27},  // 6
    {u"{E2657B82-7F5B-11d2-BF88-00C04F79999C}", true, 99, 28},  // 7
    {u"{E2657B81-7F5B-11d2-BF88-00C04F79999C}", true, 255, 29},  // 8
    {u"{FB6D6CB7-C467-11d2-A8F8-00C04F72FDB6}", true, 99, 30},  // 9
    {u"{FB6D6CB8-C467-11d2-A8F8-00C04F72FDB6}", true, 255, 31},  // 10
    {u"{E2657BA2-7F5B-11d2-BF88-00C04F79999C}", true, 99, 32},  // 11
    {u"{E2657BA1-7F5B-11d2-BF88-00C04F79999C}", true, 255, 33},  // 12
    {u"{4FDD7631-B44F-11d3-AE6D-00C04F7A74B4}", true, 99, 34},  // 13
    {u"{4FDD7632-B44F-11d3-AE6D-00C04F7A74B4}", true, 255, 35},  // 14
    {u"{E2657B84-7F5B-11d2-BF88-00C04F79999C}", true, 99, 36},  // 15
    {u"{E2657B83-7F5B-11d2-BF88-00C04F79999C}", true, 255, 37},  // 16
    {u"{1D7F6398-508D-11d3-BFA5-00C04F794409}", true, 65000, 38},  // 17
    {u"{EC61AE54-A471-11d2-BF5E-00C04F799D26}", true, 65000, 39},  // 18
    {u"{024DE190-2C54-11d4-8DA1-00C04F0778AE}", true, 99, 40},  // 19
    {u"{024DE194-2C54-11d4-8DA1-00C04F0778AE}", true, 255, 41},  // 20
    {u"{E2657B86-7F5B-11d2-BF88-00C04F79999C}", true, 99, 42},  // 21
    {u"{E2657B85-7F5B-11d2-BF88-00C04F79999C}", true, 255, 43},  // 22
    {u"{6E8C5C52-15F3-4a15-BB8C-B9725AC4E64C}", true, 65000, 0},  // 23
    {u"{5D7008A4-AF7D-4c2d-9091-BED591F08C8C}", false, 65000, 0},  // 24
    {u"{E2657B88-7F5B-11d2-BF88-00C04F79999C}", true, 99, 0},  // 25
    {u"{E2657B87-7F5B-11d2-BF88-00C04F79999C}", true, 255, 0},  // 26
    {u"{CEB6C95D-E243-11d2-BFCC-00C04F79999C}", true, 99, 44},  // 27
    {u"{CEB6C95E-E243-11d2-BFCC-00C04F79999C}", true, 255, 45},  // 28
    {u"{E2657B8C-7F5B-11d2-BF88-00C04F79999C}", true, 99, 46},  // 29
    {u"{E2657B8B-7F5B-11d2-BF88-00C04F79999C}", true, 255, 47},  // 30
    {u"{4B59F581-744D-11d2-BF65-00C04F794409}", true, 99, 48},  // 31
    {u"{4B59F57D-744D-11d2-BF65-00C04F794409}", true, 255, 49},  // 32
    {u"{E2657B8E-7F5B-11d2-BF88-00C04F79999C}", true, 99, 50},  // 33
    {u"{E2657B8D-7F5B-11d2-BF88-00C04F79999C}", true, 255, 51},  // 34
    {u"{E2657B90-7F5B-11d2-BF88-00C04F79999C}", true, 99, 52},  // 35
    {u"{E2657B8F-7F5B-11d2-BF88-00C04F79999C}", true, 255, 53},  // 36
    {u"{A02C9EA5-721D-11d2-BF64-00C04F794409}", true, 99, 54},  // 37
    {u"{A02C9EA6-721D-11d2-BF64-00C04F794409}", true, 255, 55},  // 38
    {u"{E2657B92-7F5B-11d2-BF88-00C04F79999C}", true, 99, 56},  // 39
    {u"{E2657B91-7F5B-11d2-BF88-00C04F79999C}", true, 255, 57},  // 40
    {u"{5AF24219-CB7C-11d2-A8F8-00C04F72FDB6}", true, 99, 58},  // 41
    {u"{5AF2421A-CB7C-11d2-A8F8-00C04F72FDB6}", true, 255, 59},  // 42
    {u"{E2657B94-7F5B-11d2-BF88-00C04F79999C}", true, 99, 60},  // 43
    {u"{E2657B93-7F5B-11d2-BF88-00C04F79999C}", true, 255, 61},  // 44
    {u"{E2657BA6-7F5B-11d2-BF88-00C04F79999C}", true, 99, 62},  // 45
    {u"{E2657BA5-7F5B-11d2-BF88-00C04F79999C}", true, 255, 63},  // 46
    {u"{852452C3-575C-11d2-8520-00C04FCCA0C7}", true, 99, 64},  // 47
    {u"{B4FD0551-575F-11d2-8521-00C04FCCA0C7}", true, 255, 65},  // 48
    {u"{E2657B96-7F5B-11d2-BF88-00C04F79999C}", true, 99, 66},  // 49
    {u"{E2657B95-7F5B-11d2-BF88-00C04F79999C}", true, 255, 67},  // 50
    {u"{560BC190-3FC8-11d3-AE0C-00C04FCC90B7}", true, 99, 68},  // 51
    {u"{560BC191-3FC8-11d3-AE0C-00C04FCC90B7}", true, 255, 69},  // 52
    {u"{E2657B98-7F5B-11d2-BF88-00C04F79999C}", true, 99, 0},  // 53
    {u"{E2657B97-7F5B-11d2-BF88-00C04F79999C}", true, 255, 0},  // 54
    {u"{5B8F7E14-72B9-11d2-BF64-00C04F794409}", true, 99, 70},  // 55
    {u"{5B8F7E16-72B9-11d2-BF64-00C04F794409}", true, 255, 71},  // 56
    {u"{67ADA9D1-6183-11d2-8F3C-00C04F880E61}", true, 50, 72},  // 57
    {u"{4F1ABDD1-63E7-11d2-8F3D-00C04F880E61}", true, 160, 73},  // 58
    {u"{5B8F7E15-72B9-11d2-BF64-00C04F794409}", true, 99, 74},  // 59
    {u"{5B8F7E17-72B9-11d2-BF64-00C04F794409}", true, 255, 75},  // 60
    {u"{5F2E1981-663C-11d2-8526-00C04FCCA0C7}", true, 1, 76},  // 61
    {u"{E2657B9A-7F5B-11d2-BF88-00C04F79999C}", true, 99, 77},  // 62
    {u"{E2657B99-7F5B-11d2-BF88-00C04F79999C}", true, 255, 78},  // 63
    {u"{E2657B9C-7F5B-11d2-BF88-00C04F79999C}", true, 99, 79},  // 64
    {u"{E2657B9B-7F5B-11d2-BF88-00C04F79999C}", true, 255, 80},  // 65
    {u"{E2657B9E-7F5B-11d2-BF88-00C04F79999C}", true, 99, 0},  // 66
    {u"{E2657B9D-7F5B-11d2-BF88-00C04F79999C}", true, 255, 0},  // 67
    {u"{0CB6D929-5775-11d2-8521-00C04FCCA0C7}", true, 65000, 81},  // 68
    {u"{0CB6D92A-5775-11d2-8521-00C04FCCA0C7}", true, 65000, 82},  // 69
    {u"{0CB6D92B-5775-11d2-8521-00C04FCCA0C7}", true, 65000, 83},  // 70
    {u"{4F1ABDD3-63E7-11d2-8F3D-00C04F880E61}", true, 160, 84},  // 71
    {u"{4B59F57F-744D-11d2-BF65-00C04F794409}", true, 99, 85},  // 72
    {u"{4B59F57B-744D-11d2-BF65-00C04F794409}", true, 255, 86},  // 73
    {u"{A08BAE21-0605-11d5-8E2E-00C04F0778AE}", true, 99, 87},  // 74
    {u"{A08BAE25-0605-11d5-8E2E-00C04F0778AE}", true, 255, 88},  // 75
    {u"{4B59F57E-744D-11d2-BF65-00C04F794409}", true, 99, 89},  // 76
    {u"{4B59F57A-744D-11d2-BF65-00C04F794409}", true, 255, 90},  // 77
    {u"{0CB6D921-5775-11d2-8521-00C04FCCA0C7}", true, 99, 91},  // 78
    {u"{0CB6D925-5775-11d2-8521-00C04FCCA0C7}", true, 255, 92},  // 79
    {u"{E2657BA0-7F5B-11d2-BF88-00C04F79999C}", true, 99, 93},  // 80
    {u"{E2657B9F-7F5B-11d2-BF88-00C04F79999C}", true, 255, 94},  // 81
};

// Catalogue entries that no row names.
const std::u16string_view kCatalogueEntriesWithoutRow[] = {
    u"{852452C1-575C-11d2-8520-00C04FCCA0C7}",  // position 3
    u"{C0C3F7F1-66FE-11d2-8F3D-00C04F880E61}",  // position 4
    u"{774132F9-7F55-11d2-BF88-00C04F79999C}",  // position 5
    u"{77413308-7F55-11d2-BF88-00C04F79999C}",  // position 6
    u"{77413309-7F55-11d2-BF88-00C04F79999C}",  // position 7
    u"{7741330A-7F55-11d2-BF88-00C04F79999C}",  // position 8
    u"{7741330B-7F55-11d2-BF88-00C04F79999C}",  // position 9
    u"{77413306-7F55-11d2-BF88-00C04F79999C}",  // position 10
    u"{7741330C-7F55-11d2-BF88-00C04F79999C}",  // position 11
    u"{774132FC-7F55-11d2-BF88-00C04F79999C}",  // position 12
    u"{3EE07679-F613-11d2-BFDE-00C04F79999C}",  // position 13
    u"{774132FD-7F55-11d2-BF88-00C04F79999C}",  // position 14
    u"{77413307-7F55-11d2-BF88-00C04F79999C}",  // position 15
    u"{774132FE-7F55-11d2-BF88-00C04F79999C}",  // position 16
    u"{0746BF49-7F57-11d2-BF88-00C04F79999C}",  // position 17
    u"{77413300-7F55-11d2-BF88-00C04F79999C}",  // position 18
    u"{77413301-7F55-11d2-BF88-00C04F79999C}",  // position 19
    u"{010404D1-5D03-11d2-8F3B-00C04F880E61}",  // position 20
    u"{010404D2-5D03-11d2-8F3B-00C04F880E61}",  // position 21
    u"{77413302-7F55-11d2-BF88-00C04F79999C}",  // position 22
    u"{77413303-7F55-11d2-BF88-00C04F79999C}",  // position 23
    u"{77413304-7F55-11d2-BF88-00C04F79999C}",  // position 24
    u"{77413305-7F55-11d2-BF88-00C04F79999C}",  // position 25
    u"{B71A8F5A-DAEF-4d31-BFC3-401AF9E09394}",  // position 95
    u"{C834B0FC-F7CF-4760-9BC0-86CC9303D79E}",  // position 96
};

struct Expected {
    bool family_total;
    LONG maximum;
};

// The plain reading of the table: exact units, first equal row wins.
Expected expected_for(std::u16string_view text)
{
    for (const Row& r : kRows)
        if (r.guid == text) return {r.family_total, r.maximum};
    return {false, -1};
}

struct Answer {
    HRESULT status;
    VARIANT_BOOL family_total;
    LONG maximum;
};

// Asks through IServer with the given starting FamilyTotal, and checks that
// the caller's ComponentGUID variable and string come back untouched.
Answer ask(IServer* server, BSTR guid, VARIANT_BOOL family_total_in)
{
    const std::u16string before = text_of(guid);
    BSTR argument = guid;
    Answer a{E_UNEXPECTED, family_total_in, 12345};
    a.status = server->GetMaximumLimit(&argument, &a.family_total, &a.maximum);
    EXPECT_EQ(argument, guid) << "the caller's variable was changed";
    EXPECT_EQ(text_of(guid), before) << "the caller's string was changed";
    return a;
}

void expect_answer(IServer* server, std::u16string_view text, Expected expected)
{
    SCOPED_TRACE(printable(text));
    rt::BStr guid = bstr(text);
    for (VARIANT_BOOL start : {VARIANT_FALSE, VARIANT_TRUE, VARIANT_BOOL{0x1234}}) {
        const Answer a = ask(server, guid.get(), start);
        EXPECT_EQ(a.status, S_OK);
        EXPECT_EQ(a.family_total, expected.family_total ? VARIANT_TRUE : VARIANT_FALSE)
            << "FamilyTotal passed in as " << start;
        EXPECT_EQ(a.maximum, expected.maximum);
    }
    const orvanta::LimitAnswer hashed = orvanta::find_limit(text);
    const orvanta::LimitAnswer scanned = orvanta::find_limit_by_scan(text);
    EXPECT_EQ(hashed.family_total, expected.family_total);
    EXPECT_EQ(hashed.maximum, expected.maximum);
    EXPECT_EQ(scanned.family_total, expected.family_total);
    EXPECT_EQ(scanned.maximum, expected.maximum);
}

std::u16string with_case(std::u16string_view text, bool upper)
{
    std::u16string s(text);
    for (char16_t& c : s) {
        if (upper && c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
        if (!upper && c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    }
    return s;
}

// Texts that resemble a row's GUID without being it.
std::vector<std::u16string> lookalikes(std::u16string_view guid)
{
    const std::u16string g(guid);
    std::u16string third_group_upper = g;
    third_group_upper.replace(15, 4, with_case(g.substr(15, 4), true));
    std::u16string no_hyphens;
    for (char16_t c : g)
        if (c != u'-') no_hyphens += c;
    std::u16string zero_inside = g;
    zero_inside[20] = u'\0';

    std::vector<std::u16string> all = {
        with_case(g, false),
        with_case(g, true),
        third_group_upper,
        g.substr(1, 36),            // without braces
        g.substr(0, 37),            // without the closing brace
        g.substr(1),                // without the opening brace
        u" " + g,
        g + u" ",
        u"\t" + g,
        g + u"\r\n",
        u"\u00A0" + g,              // a no-break space
        g + u"\0"s,                 // a trailing zero unit
        u"\0"s + g,                 // a leading zero unit
        zero_inside,
        no_hyphens,
        u"\"" + g + u"\"",
        g + g,
    };
    std::vector<std::u16string> differing;
    for (auto& s : all)
        if (s != g) differing.push_back(std::move(s));
    return differing;
}

class ComponentLimits : public LeakCheckedTest {};

TEST_F(ComponentLimits, ExpectedTableHasItsKnownShape)
{
    ASSERT_EQ(std::size(kRows), 81u);
    int listed = 0, nines = 0, two_fifty_fives = 0, family_false = 0;
    for (const Row& r : kRows) {
        EXPECT_EQ(r.guid.size(), 38u);
        listed += r.catalogue_position != 0;
        nines += r.maximum == 99;
        two_fifty_fives += r.maximum == 255;
        family_false += !r.family_total;
    }
    EXPECT_EQ(listed, 71);
    EXPECT_EQ(nines, 36);
    EXPECT_EQ(two_fifty_fives, 34);
    EXPECT_EQ(family_false, 1);
    EXPECT_EQ(std::size(kCatalogueEntriesWithoutRow), 25u);
}

TEST_F(ComponentLimits, EveryRowAnswersItsMaximumAndFamilyTotal)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());
    for (const Row& r : kRows) expect_answer(server.get(), r.guid, {r.family_total, r.maximum});
    EXPECT_EQ(refcount(server.get()), refs);
}

TEST_F(ComponentLimits, CatalogueEntriesWithoutRowGetTheDefault)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());
    for (std::u16string_view guid : kCatalogueEntriesWithoutRow) {
        EXPECT_EQ(expected_for(guid).maximum, -1) << printable(guid);
        expect_answer(server.get(), guid, {false, -1});
    }
    EXPECT_EQ(refcount(server.get()), refs);
}

TEST_F(ComponentLimits, TextThatOnlyResemblesARowGetsTheDefault)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());
    for (const Row& r : kRows)
        for (const std::u16string& text : lookalikes(r.guid)) expect_answer(server.get(), text, {false, -1});
    EXPECT_EQ(refcount(server.get()), refs);
}

TEST_F(ComponentLimits, EmptyNullAndBlankTextGetTheDefault)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());

    // The null string is the empty string.
    for (VARIANT_BOOL start : {VARIANT_TRUE, VARIANT_FALSE}) {
        const Answer a = ask(server.get(), nullptr, start);
        EXPECT_EQ(a.status, S_OK);
        EXPECT_EQ(a.family_total, VARIANT_FALSE);
        EXPECT_EQ(a.maximum, -1);
    }
    for (std::u16string_view text : {u""sv, u"\0"sv, u" "sv, std::u16string_view(u"                                      ")})
        expect_answer(server.get(), text, {false, -1});
    EXPECT_EQ(refcount(server.get()), refs);
}

// The hashed lookup must give what the scan in table order gives, on every
// row and on text one unit away from a row, which may well be another row.
TEST_F(ComponentLimits, HashedLookupAgreesWithTheScanInTableOrder)
{
    auto server = new_server();
    std::vector<std::u16string> texts;
    for (const Row& r : kRows) {
        texts.emplace_back(r.guid);
        for (std::size_t i = 0; i < r.guid.size(); ++i) {
            for (int delta : {-1, 1, 0x20, -0x20, 0x10000 - r.guid[i]}) {
                std::u16string s(r.guid);
                s[i] = static_cast<char16_t>(s[i] + delta);
                texts.push_back(s);
            }
        }
    }
    // Deterministic pseudo-random GUID-shaped texts.
    uint32_t seed = 0x2545F491u;
    const char16_t hex[] = u"0123456789ABCDEFabcdef";
    for (int n = 0; n < 2000; ++n) {
        std::u16string s(kRows[n % 81].guid);
        for (std::size_t i = 1; i < 37; ++i) {
            if (s[i] == u'-') continue;
            seed = seed * 1664525u + 1013904223u;
            if ((seed >> 28) < 3) s[i] = hex[(seed >> 8) % 22];
        }
        texts.push_back(s);
    }

    int hits = 0;
    for (const std::u16string& text : texts) {
        SCOPED_TRACE(printable(text));
        const Expected want = expected_for(text);
        hits += want.maximum != -1;
        const orvanta::LimitAnswer hashed = orvanta::find_limit(text);
        const orvanta::LimitAnswer scanned = orvanta::find_limit_by_scan(text);
        ASSERT_TRUE(hashed == scanned);
        EXPECT_EQ(hashed.family_total, want.family_total);
        EXPECT_EQ(hashed.maximum, want.maximum);

        rt::BStr guid = bstr(text);
        const Answer a = ask(server.get(), guid.get(), VARIANT_TRUE);
        EXPECT_EQ(a.status, S_OK);
        EXPECT_EQ(a.family_total, want.family_total ? VARIANT_TRUE : VARIANT_FALSE);
        EXPECT_EQ(a.maximum, want.maximum);
    }
    // Some one-unit changes land on other rows; the table is dense that way.
    EXPECT_GT(hits, 81);
    std::cout << "[ limits  ] " << texts.size() << " texts compared, " << hits << " of them rows\n";
}

// Thousands of values of the first and the last unit of every row: texts
// that hash into every probe chain of the rows, where a lookup that stops
// short or compares too little would answer wrongly.
TEST_F(ComponentLimits, HashedLookupAgreesOnManyFirstAndLastUnits)
{
    long mismatches = 0;
    for (const Row& r : kRows) {
        std::u16string s(r.guid);
        for (std::size_t at : {std::size_t{0}, s.size() - 1}) {
            const char16_t kept = s[at];
            for (uint32_t unit = 0; unit <= 0xFFFF; unit = unit == 0x0FFF ? 0xFF00 : unit + 1) {
                s[at] = static_cast<char16_t>(unit);
                const orvanta::LimitAnswer hashed = orvanta::find_limit(s);
                const orvanta::LimitAnswer want = unit == kept ? orvanta::LimitAnswer{r.family_total, r.maximum}
                                                               : orvanta::LimitAnswer{false, -1};
                if (!(hashed == want) && ++mismatches <= 5)
                    ADD_FAILURE() << printable(s) << " answers " << hashed.maximum;
            }
            s[at] = kept;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
