// The stand-in's automation strings: byte layout, lengths, the fault hook and
// the live-string count.
#include "test_support.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

namespace {

class RuntimeStrings : public testing_support::LeakCheckedTest {};

uint32_t prefix_of(BSTR s)
{
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(s) - 4, sizeof bytes);
    return bytes;
}

struct LengthCase {
    const char* name;
    const OLECHAR* text;
    UINT cch;
    std::u16string expected;
};

// Printed by name: the default printer would show the raw bytes, padding
// included, which valgrind rightly reports as uninitialised.
void PrintTo(const LengthCase& c, std::ostream* out) { *out << c.name; }

class RuntimeStringLengths : public RuntimeStrings,
                             public ::testing::WithParamInterface<LengthCase> {};

// Layout: a 32-bit byte length at pointer - 4, the units, a 16-bit zero.
TEST_P(RuntimeStringLengths, KeepsEveryUnitAndTerminates)
{
    const LengthCase& c = GetParam();
    BSTR s = SysAllocStringLen(c.text, c.cch);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(s) % 8, 0u);
    EXPECT_EQ(SysStringLen(s), c.cch);
    EXPECT_EQ(SysStringByteLen(s), 2 * c.cch);
    EXPECT_EQ(prefix_of(s), 2 * c.cch);
    EXPECT_EQ(std::u16string(s, c.cch), c.expected);
    EXPECT_EQ(s[c.cch], 0);
    SysFreeString(s);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RuntimeStringLengths,
    ::testing::Values(LengthCase{"plain", u"abc", 3, u"abc"}, LengthCase{"empty", u"", 0, u""},
                      LengthCase{"embedded_zero", u"a\0b", 3, std::u16string(u"a\0b", 3)},
                      LengthCase{"prefix_only", u"abcdef", 2, u"ab"},
                      LengthCase{"null_source_zeroed", nullptr, 5, std::u16string(5, u'\0')},
                      LengthCase{"null_source_empty", nullptr, 0, u""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RuntimeStrings, MeasuresUpToTheFirstZero)
{
    BSTR s = SysAllocString(u"ab\0cd");
    EXPECT_EQ(SysStringLen(s), 2u);
    SysFreeString(s);
}

TEST_F(RuntimeStrings, NullIsTheEmptyStringAndNoAllocation)
{
    rt::fail_allocation_after(0);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(rt::allocations_seen(), 0);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST_F(RuntimeStrings, LengthsPastThirtyTwoBitsAreRefused)
{
    rt::fail_allocation_after(0);
    for (UINT cch : {0x7FFFFFFDu, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(SysAllocStringLen(nullptr, cch), nullptr) << cch;
    }
    EXPECT_EQ(rt::allocations_seen(), 0);
}

TEST_F(RuntimeStrings, EachStringCountsWhileAlive)
{
    BSTR a = SysAllocString(u"a");
    BSTR b = SysAllocStringLen(nullptr, 0);
    EXPECT_EQ(rt::live_strings(), guard().strings_at_start() + 2);
    SysFreeString(a);
    EXPECT_EQ(rt::live_strings(), guard().strings_at_start() + 1);
    SysFreeString(b);
    EXPECT_EQ(rt::live_strings(), guard().strings_at_start());
}

TEST_F(RuntimeStrings, HookFailsTheNthAllocationOnly)
{
    for (long n = 1; n <= 4; ++n) {
        rt::fail_allocation_after(n);
        BSTR got[5];
        for (BSTR& s : got) s = SysAllocString(u"x");
        for (long i = 0; i < 5; ++i) {
            if (i + 1 == n)
                EXPECT_EQ(got[i], nullptr) << "n=" << n;
            else
                EXPECT_NE(got[i], nullptr) << "n=" << n << " i=" << i;
            SysFreeString(got[i]);
        }
        EXPECT_EQ(rt::allocations_seen(), 5);
    }
}

TEST_F(RuntimeStrings, HookCountdownBelongsToItsThread)
{
    rt::fail_allocation_after(1);
    BSTR other = nullptr;
    std::thread([&] { other = SysAllocString(u"elsewhere"); }).join();
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(rt::live_strings(), guard().strings_at_start() + 1);  // the count is process-wide
    SysFreeString(other);

    EXPECT_EQ(rt::allocations_seen(), 0);
    EXPECT_EQ(SysAllocString(u"here"), nullptr);
}

}  // namespace
