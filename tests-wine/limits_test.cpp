// GetMaximumLimit through IServer's vtable: every row of the limit table,
// the catalogue entries without a row, and text that only resembles a row
// (other letter case, blanks, missing braces, empty and null strings).
#include "wine_support.h"

#include "tests/common/limit_queries.h"

using namespace wt;

namespace {

class Limits : public ServerTest {};

TEST_F(Limits, EveryRowAnswersItsMaximumAndFamilyTotal)
{
    for (const expected::LimitRow& r : expected::kLimitRows) {
        expect_limit(server_.get(), r.guid, r.family_total, r.maximum);
        EXPECT_EQ(refcount(server_.get()), 1u);
    }
}

TEST_F(Limits, CatalogueEntriesWithoutARowGetTheDefault)
{
    int without_row = 0;
    for (int position = 1; position <= 96; ++position) {
        if (expected::has_limit_row(position)) continue;
        ++without_row;
        expect_limit(server_.get(), expected::kCatalogue[position - 1], false, -1);
    }
    EXPECT_EQ(without_row, 25);  // positions 3 to 25, 95 and 96
}

TEST_F(Limits, KnownAnswers)
{
    struct Known {
        std::u16string_view guid;
        bool family_total;
        LONG maximum;
    };
    const Known known[] = {
        {u"{E2657B80-7F5B-11d2-BF88-00C04F79999C}", true, 99},
        {u"{E2657B7F-7F5B-11d2-BF88-00C04F79999C}", true, 255},
        {u"{4B59F580-744D-11d2-BF65-00C04F794409}", true, 99},
        {u"{5D7008A4-AF7D-4c2d-9091-BED591F08C8C}", false, 65000},
        {u"{0CB6D92B-5775-11d2-8521-00C04FCCA0C7}", true, 65000},
        {u"{4F1ABDD1-63E7-11d2-8F3D-00C04F880E61}", true, 160},
        {u"{67ADA9D1-6183-11d2-8F3C-00C04F880E61}", true, 50},
        {u"{5F2E1981-663C-11d2-8526-00C04FCCA0C7}", true, 1},
        {u"{852452C1-575C-11d2-8520-00C04FCCA0C7}", false, -1},
    };
    for (const Known& k : known) expect_limit(server_.get(), k.guid, k.family_total, k.maximum);
}

TEST_F(Limits, TextThatOnlyResemblesARowGetsTheDefault)
{
    for (const expected::LimitRow& r : expected::kLimitRows)
        for (const std::u16string& text : lookalikes(r.guid))
            expect_limit(server_.get(), text, false, -1);
}

TEST_F(Limits, EmptyNullAndBlankTextGetTheDefault)
{
    for (VARIANT_BOOL start : {VARIANT_TRUE, VARIANT_FALSE}) {
        const LimitReply a = ask_limit(server_.get(), nullptr, start);  // the null string
        EXPECT_EQ(a.status, S_OK);
        EXPECT_EQ(a.family_total, VARIANT_FALSE);
        EXPECT_EQ(a.maximum, -1);
    }
    for (const std::u16string& text : {std::u16string(), std::u16string(1, u'\0'),
                                       std::u16string(u" "), std::u16string(38, u' ')})
        expect_limit(server_.get(), text, false, -1);
}

TEST_F(Limits, SameAnswerOnAnotherInstanceAndOnRepeat)
{
    Ref<IServer> second = create_server();
    ASSERT_TRUE(second);
    for (const expected::LimitRow& r : expected::kLimitRows) {
        Bstr guid(r.guid);
        const LimitReply a = ask_limit(server_.get(), guid.get(), VARIANT_FALSE);
        const LimitReply b = ask_limit(second.get(), guid.get(), VARIANT_FALSE);
        const LimitReply c = ask_limit(server_.get(), guid.get(), VARIANT_TRUE);
        EXPECT_EQ(a.maximum, b.maximum);
        EXPECT_EQ(a.maximum, c.maximum);
        EXPECT_EQ(a.family_total, b.family_total);
        EXPECT_EQ(a.family_total, c.family_total);
    }
}

}  // namespace
