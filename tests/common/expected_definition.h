// What a client of the module expects it to answer, on every platform: the
// identity texts, the 96 entries of the default component catalogue and the
// 81 rows of the limit table. Written out here by hand, independently of the
// module's own tables (which no test takes its expected values from), and
// shared by the native tests and the Windows client tests.
//
// Texts are 16-bit literals: std::u16string_view, each zero-terminated, so a
// platform whose wide characters are 16 bits wide can pass data() on as its
// own text. The header's static_asserts check the tables' known shape in
// every program that includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace expected {

// The five identity texts, exact to the letter.
inline constexpr std::u16string_view kServerCategory = u"{D1104FC1-DCEE-11d2-BFC6-00C04F79999C}";
inline constexpr std::u16string_view kName = u"Orvanta ZNA";
inline constexpr std::u16string_view kDescription = u"Orvanta ZNA";
inline constexpr std::u16string_view kReleaseNumber = u"R100";
inline constexpr std::u16string_view kServerGuid = u"{924DA0D6-5E19-4ff4-8056-B37E8A8C0670}";

// IServer's nine operations in table order, after IDispatch's seven entries;
// their member identifiers are 1 to 9 in the same order.
struct ServerMember {
    std::u16string_view name;
    bool property;  // reached by a property read; the others by a method call
    unsigned arguments;
};
inline constexpr ServerMember kServerMembers[9] = {
    {u"Name", true, 0},
    {u"ReleaseNumber", true, 0},
    {u"Description", true, 0},
    {u"ServerGUID", true, 0},
    {u"DefaultComponents", false, 0},
    {u"IsAttachable", false, 2},
    {u"GetAttachableGUIDs", false, 1},
    {u"GetMaximumLimit", false, 2},
    {u"ServerCategory", false, 0},
};

// IsAttachable's answer when the parent has no attachment list.
inline constexpr std::int32_t kAttachNoList = 2;

// The default component catalogue, in order.
inline constexpr std::u16string_view kCatalogue[96] = {
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

// The limit table, in its order. GetMaximumLimit answers (false, -1) for any
// text that is not exactly one of these GUIDs.
struct LimitRow {
    std::u16string_view guid;
    bool family_total;
    std::int32_t maximum;
    int catalogue_position;  // 1 to 96; 0: not in the catalogue
};
inline constexpr LimitRow kLimitRows[81] = {
    {u"{E2657B80-7F5B-11d2-BF88-00C04F79999C}", true, 99, 1},      // 1
    {u"{E2657B7F-7F5B-11d2-BF88-00C04F79999C}", true, 255, 2},     // 2
    {u"{4B59F580-744D-11d2-BF65-00C04F794409}", true, 99, 0},      // 3
    {u"{4B59F57C-744D-11d2-BF65-00C04F794409}", true, 99, 0},      // 4
    {u"{0CB6D926-5775-11d2-8521-00C04FCCA0C7}", true, 99, 26},     // 5
    {u"{0CB6D927-5775-11d2-8521-00C04FCCA0C7}", true, 255, 27},    // 6
    {u"{E2657B82-7F5B-11d2-BF88-00C04F79999C}", true, 99, 28},     // 7
    {u"{E2657B81-7F5B-11d2-BF88-00C04F79999C}", true, 255, 29},    // 8
    {u"{FB6D6CB7-C467-11d2-A8F8-00C04F72FDB6}", true, 99, 30},     // 9
    {u"{FB6D6CB8-C467-11d2-A8F8-00C04F72FDB6}", true, 255, 31},    // 10
    {u"{E2657BA2-7F5B-11d2-BF88-00C04F79999C}", true, 99, 32},     // 11
    {u"{E2657BA1-7F5B-11d2-BF88-00C04F79999C}", true, 255, 33},    // 12
    {u"{4FDD7631-B44F-11d3-AE6D-00C04F7A74B4}", true, 99, 34},     // 13
    {u"{4FDD7632-B44F-11d3-AE6D-00C04F7A74B4}", true, 255, 35},    // 14
    {u"{E2657B84-7F5B-11d2-BF88-00C04F79999C}", true, 99, 36},     // 15
    {u"{E2657B83-7F5B-11d2-BF88-00C04F79999C}", true, 255, 37},    // 16
    {u"{1D7F6398-508D-11d3-BFA5-00C04F794409}", true, 65000, 38},  // 17
    {u"{EC61AE54-A471-11d2-BF5E-00C04F799D26}", true, 65000, 39},  // 18
    {u"{024DE190-2C54-11d4-8DA1-00C04F0778AE}", true, 99, 40},     // 19
    {u"{024DE194-2C54-11d4-8DA1-00C04F0778AE}", true, 255, 41},    // 20
    {u"{E2657B86-7F5B-11d2-BF88-00C04F79999C}", true, 99, 42},     // 21
    {u"{E2657B85-7F5B-11d2-BF88-00C04F79999C}", true, 255, 43},    // 22
    {u"{6E8C5C52-15F3-4a15-BB8C-B9725AC4E64C}", true, 65000, 0},   // 23
    {u"{5D7008A4-AF7D-4c2d-9091-BED591F08C8C}", false, 65000, 0},  // 24
    {u"{E2657B88-7F5B-11d2-BF88-00C04F79999C}", true, 99, 0},      // 25
    {u"{E2657B87-7F5B-11d2-BF88-00C04F79999C}", true, 255, 0},     // 26
    {u"{CEB6C95D-E243-11d2-BFCC-00C04F79999C}", true, 99, 44},     // 27
    {u"{CEB6C95E-E243-11d2-BFCC-00C04F79999C}", true, 255, 45},    // 28
    {u"{E2657B8C-7F5B-11d2-BF88-00C04F79999C}", true, 99, 46},     // 29
    {u"{E2657B8B-7F5B-11d2-BF88-00C04F79999C}", true, 255, 47},    // 30
    {u"{4B59F581-744D-11d2-BF65-00C04F794409}", true, 99, 48},     // 31
    {u"{4B59F57D-744D-11d2-BF65-00C04F794409}", true, 255, 49},    // 32
    {u"{E2657B8E-7F5B-11d2-BF88-00C04F79999C}", true, 99, 50},     // 33
    {u"{E2657B8D-7F5B-11d2-BF88-00C04F79999C}", true, 255, 51},    // 34
    {u"{E2657B90-7F5B-11d2-BF88-00C04F79999C}", true, 99, 52},     // 35
    {u"{E2657B8F-7F5B-11d2-BF88-00C04F79999C}", true, 255, 53},    // 36
    {u"{A02C9EA5-721D-11d2-BF64-00C04F794409}", true, 99, 54},     // 37
    {u"{A02C9EA6-721D-11d2-BF64-00C04F794409}", true, 255, 55},    // 38
    {u"{E2657B92-7F5B-11d2-BF88-00C04F79999C}", true, 99, 56},     // 39
    {u"{E2657B91-7F5B-11d2-BF88-00C04F79999C}", true, 255, 57},    // 40
    {u"{5AF24219-CB7C-11d2-A8F8-00C04F72FDB6}", true, 99, 58},     // 41
    {u"{5AF2421A-CB7C-11d2-A8F8-00C04F72FDB6}", true, 255, 59},    // 42
    {u"{E2657B94-7F5B-11d2-BF88-00C04F79999C}", true, 99, 60},     // 43
    {u"{E2657B93-7F5B-11d2-BF88-00C04F79999C}", true, 255, 61},    // 44
    {u"{E2657BA6-7F5B-11d2-BF88-00C04F79999C}", true, 99, 62},     // 45
    {u"{E2657BA5-7F5B-11d2-BF88-00C04F79999C}", true, 255, 63},    // 46
    {u"{852452C3-575C-11d2-8520-00C04FCCA0C7}", true, 99, 64},     // 47
    {u"{B4FD0551-575F-11d2-8521-00C04FCCA0C7}", true, 255, 65},    // 48
    {u"{E2657B96-7F5B-11d2-BF88-00C04F79999C}", true, 99, 66},     // 49
    {u"{E2657B95-7F5B-11d2-BF88-00C04F79999C}", true, 255, 67},    // 50
    {u"{560BC190-3FC8-11d3-AE0C-00C04FCC90B7}", true, 99, 68},     // 51
    {u"{560BC191-3FC8-11d3-AE0C-00C04FCC90B7}", true, 255, 69},    // 52
    {u"{E2657B98-7F5B-11d2-BF88-00C04F79999C}", true, 99, 0},      // 53
    {u"{E2657B97-7F5B-11d2-BF88-00C04F79999C}", true, 255, 0},     // 54
    {u"{5B8F7E14-72B9-11d2-BF64-00C04F794409}", true, 99, 70},     // 55
    {u"{5B8F7E16-72B9-11d2-BF64-00C04F794409}", true, 255, 71},    // 56
    {u"{67ADA9D1-6183-11d2-8F3C-00C04F880E61}", true, 50, 72},     // 57
    {u"{4F1ABDD1-63E7-11d2-8F3D-00C04F880E61}", true, 160, 73},    // 58
    {u"{5B8F7E15-72B9-11d2-BF64-00C04F794409}", true, 99, 74},     // 59
    {u"{5B8F7E17-72B9-11d2-BF64-00C04F794409}", true, 255, 75},    // 60
    {u"{5F2E1981-663C-11d2-8526-00C04FCCA0C7}", true, 1, 76},      // 61
    {u"{E2657B9A-7F5B-11d2-BF88-00C04F79999C}", true, 99, 77},     // 62
    {u"{E2657B99-7F5B-11d2-BF88-00C04F79999C}", true, 255, 78},    // 63
    {u"{E2657B9C-7F5B-11d2-BF88-00C04F79999C}", true, 99, 79},     // 64
    {u"{E2657B9B-7F5B-11d2-BF88-00C04F79999C}", true, 255, 80},    // 65
    {u"{E2657B9E-7F5B-11d2-BF88-00C04F79999C}", true, 99, 0},      // 66
    {u"{E2657B9D-7F5B-11d2-BF88-00C04F79999C}", true, 255, 0},     // 67
    {u"{0CB6D929-5775-11d2-8521-00C04FCCA0C7}", true, 65000, 81},  // 68
    {u"{0CB6D92A-5775-11d2-8521-00C04FCCA0C7}", true, 65000, 82},  // 69
    {u"{0CB6D92B-5775-11d2-8521-00C04FCCA0C7}", true, 65000, 83},  // 70
    {u"{4F1ABDD3-63E7-11d2-8F3D-00C04F880E61}", true, 160, 84},    // 71
    {u"{4B59F57F-744D-11d2-BF65-00C04F794409}", true, 99, 85},     // 72
    {u"{4B59F57B-744D-11d2-BF65-00C04F794409}", true, 255, 86},    // 73
    {u"{A08BAE21-0605-11d5-8E2E-00C04F0778AE}", true, 99, 87},     // 74
    {u"{A08BAE25-0605-11d5-8E2E-00C04F0778AE}", true, 255, 88},    // 75
    {u"{4B59F57E-744D-11d2-BF65-00C04F794409}", true, 99, 89},     // 76
    {u"{4B59F57A-744D-11d2-BF65-00C04F794409}", true, 255, 90},    // 77
    {u"{0CB6D921-5775-11d2-8521-00C04FCCA0C7}", true, 99, 91},     // 78
    {u"{0CB6D925-5775-11d2-8521-00C04FCCA0C7}", true, 255, 92},    // 79
    {u"{E2657BA0-7F5B-11d2-BF88-00C04F79999C}", true, 99, 93},     // 80
    {u"{E2657B9F-7F5B-11d2-BF88-00C04F79999C}", true, 255, 94},    // 81
};

// True when a limit row gives catalogue position `position` (1 to 96): the
// positions without one are 3 to 25, 95 and 96.
constexpr bool has_limit_row(int position)
{
    for (const LimitRow& r : kLimitRows)
        if (r.catalogue_position == position) return true;
    return false;
}

// ---- the tables' known shape, checked where they are compiled ----

namespace shape {

constexpr char16_t folded(char16_t c)
{
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

constexpr bool equal_ignoring_case(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (folded(a[i]) != folded(b[i])) return false;
    return true;
}

// A GUID in braces: 38 units, hyphens at 9, 14, 19 and 24, hex digits
// elsewhere, zero-terminated.
constexpr bool guid_shaped(std::u16string_view g)
{
    if (g.size() != 38 || g[0] != u'{' || g[37] != u'}' || g.data()[38] != u'\0') return false;
    for (std::size_t i = 1; i < 37; ++i) {
        const char16_t c = folded(g[i]);
        const bool hyphen = i == 9 || i == 14 || i == 19 || i == 24;
        if (hyphen ? c != u'-' : !((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')))
            return false;
    }
    return true;
}

// 96 GUIDs, distinct without regard to letter case.
constexpr bool catalogue_well_formed()
{
    for (std::size_t i = 0; i < 96; ++i) {
        if (!guid_shaped(kCatalogue[i])) return false;
        for (std::size_t j = 0; j < i; ++j)
            if (equal_ignoring_case(kCatalogue[i], kCatalogue[j])) return false;
    }
    return true;
}

// Each row's catalogue position names exactly the catalogue entry equal to
// its GUID, and no entry equals a row that gives no position.
constexpr bool positions_agree()
{
    for (const LimitRow& r : kLimitRows) {
        if (!guid_shaped(r.guid) || r.catalogue_position < 0 || r.catalogue_position > 96)
            return false;
        for (int p = 1; p <= 96; ++p)
            if ((kCatalogue[p - 1] == r.guid) != (r.catalogue_position == p)) return false;
    }
    return true;
}

constexpr int count_rows(bool (*predicate)(const LimitRow&))
{
    int n = 0;
    for (const LimitRow& r : kLimitRows) n += predicate(r) ? 1 : 0;
    return n;
}

constexpr int catalogue_entries_without_row()
{
    int n = 0;
    for (int p = 1; p <= 96; ++p) n += has_limit_row(p) ? 0 : 1;
    return n;
}

static_assert(catalogue_well_formed(),
              "catalogue: 96 distinct GUIDs, without regard to letter case");
static_assert(positions_agree(), "limit rows: catalogue positions agree with the catalogue");
static_assert(count_rows([](const LimitRow& r) { return r.catalogue_position != 0; }) == 71);
static_assert(count_rows([](const LimitRow& r) { return r.maximum == 99; }) == 36);
static_assert(count_rows([](const LimitRow& r) { return r.maximum == 255; }) == 34);
static_assert(count_rows([](const LimitRow& r) { return !r.family_total; }) == 1);
static_assert(catalogue_entries_without_row() == 25, "positions 3 to 25, 95 and 96 have no row");

}  // namespace shape

}  // namespace expected
