// Component limits: the maximum and FamilyTotal for a component GUID, found by
// exact comparison against a table of 81 rows; anything else gets (False, -1).
#include "test_support.h"

#include "definition/limits.h"
#include "tests/support/limit_scan.h"
#include "tests/common/limit_queries.h"

#include <cstdint>

using namespace testing_support;
using namespace std::literals;

namespace {

using expected::kLimitRows;
using expected::LimitRow;

struct Expected {
    bool family_total;
    LONG maximum;
};

// The plain reading of the table: exact units, first equal row wins.
Expected expected_for(std::u16string_view text)
{
    for (const LimitRow& r : kLimitRows)
        if (r.guid == text) return {r.family_total, r.maximum};
    return {false, -1};
}

// Through IServer, and through both of the module's own lookups.
void expect_answer(IServer* server, std::u16string_view text, Expected expected)
{
    client::expect_limit(server, text, expected.family_total, expected.maximum);
    SCOPED_TRACE(printable(text));
    const orvanta::LimitAnswer hashed = orvanta::find_limit(text);
    const orvanta::LimitAnswer scanned = orvanta::find_limit_by_scan(text);
    EXPECT_EQ(hashed.family_total, expected.family_total);
    EXPECT_EQ(hashed.maximum, expected.maximum);
    EXPECT_EQ(scanned.family_total, expected.family_total);
    EXPECT_EQ(scanned.maximum, expected.maximum);
}

class ComponentLimits : public LeakCheckedTest {};

TEST_F(ComponentLimits, EveryRowAnswersItsMaximumAndFamilyTotal)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());
    for (const LimitRow& r : kLimitRows)
        expect_answer(server.get(), r.guid, {r.family_total, r.maximum});
    EXPECT_EQ(refcount(server.get()), refs);
}

TEST_F(ComponentLimits, CatalogueEntriesWithoutRowGetTheDefault)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());
    int without_row = 0;
    for (int position = 1; position <= 96; ++position) {
        if (expected::has_limit_row(position)) continue;
        ++without_row;
        const std::u16string_view guid = expected::kCatalogue[position - 1];
        EXPECT_EQ(expected_for(guid).maximum, -1) << printable(guid);
        expect_answer(server.get(), guid, {false, -1});
    }
    EXPECT_EQ(without_row, 25);
    EXPECT_EQ(refcount(server.get()), refs);
}

TEST_F(ComponentLimits, TextThatOnlyResemblesARowGetsTheDefault)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());
    for (const LimitRow& r : kLimitRows)
        for (const std::u16string& text : client::lookalikes(r.guid))
            expect_answer(server.get(), text, {false, -1});
    EXPECT_EQ(refcount(server.get()), refs);
}

TEST_F(ComponentLimits, EmptyNullAndBlankTextGetTheDefault)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());

    // The null string is the empty string.
    for (VARIANT_BOOL start : {VARIANT_TRUE, VARIANT_FALSE}) {
        const client::LimitReply a = client::ask_limit(server.get(), nullptr, start);
        EXPECT_EQ(a.status, S_OK);
        EXPECT_EQ(a.family_total, VARIANT_FALSE);
        EXPECT_EQ(a.maximum, -1);
    }
    for (std::u16string_view text :
         {u""sv, u"\0"sv, u" "sv, std::u16string_view(u"                                      ")})
        expect_answer(server.get(), text, {false, -1});
    EXPECT_EQ(refcount(server.get()), refs);
}

// The hashed lookup must give what the scan in table order gives, on every
// row and on text one unit away from a row, which may well be another row.
TEST_F(ComponentLimits, HashedLookupAgreesWithTheScanInTableOrder)
{
    auto server = new_server();
    std::vector<std::u16string> texts;
    for (const LimitRow& r : kLimitRows) {
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
        std::u16string s(kLimitRows[n % 81].guid);
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
        const client::LimitReply a = client::ask_limit(server.get(), guid.get(), VARIANT_TRUE);
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
    for (const LimitRow& r : kLimitRows) {
        std::u16string s(r.guid);
        for (std::size_t at : {std::size_t{0}, s.size() - 1}) {
            const char16_t kept = s[at];
            for (uint32_t unit = 0; unit <= 0xFFFF; unit = unit == 0x0FFF ? 0xFF00 : unit + 1) {
                s[at] = static_cast<char16_t>(unit);
                const orvanta::LimitAnswer hashed = orvanta::find_limit(s);
                const orvanta::LimitAnswer want =
                    unit == kept ? orvanta::LimitAnswer{r.family_total, r.maximum}
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
