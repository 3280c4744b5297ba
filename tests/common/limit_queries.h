// GetMaximumLimit as a client asks it through IServer's vtable, and texts
// that only resemble a row's GUID; for the limit tests of every platform.
#pragma once

#include "tests/common/client_support.h"

#include <string>
#include <string_view>
#include <vector>

namespace client {

struct LimitReply {
    HRESULT status;
    VARIANT_BOOL family_total;
    LONG maximum;
};

// Asks with the given starting FamilyTotal, and checks that the caller's
// ComponentGUID variable and its text come back untouched.
inline LimitReply ask_limit(IServer* server, BSTR guid, VARIANT_BOOL family_total_in)
{
    const Text before = text_of(guid);
    BSTR argument = guid;
    LimitReply reply{E_UNEXPECTED, family_total_in, 12345};
    reply.status = server->GetMaximumLimit(&argument, &reply.family_total, &reply.maximum);
    EXPECT_EQ(argument, guid) << "the caller's variable was changed";
    EXPECT_EQ(text_of(guid), before) << "the caller's string was changed";
    return reply;
}

// The answer for `text`, whatever FamilyTotal holds when it is passed in.
inline void expect_limit(IServer* server, std::u16string_view text, bool family_total, LONG maximum)
{
    SCOPED_TRACE(printable(as_text(text)));
    const Text units = as_text(text);
    rt::BStr guid(SysAllocStringLen(units.data(), static_cast<UINT>(units.size())));
    ASSERT_NE(guid.get(), nullptr);
    for (VARIANT_BOOL start : {VARIANT_FALSE, VARIANT_TRUE, VARIANT_BOOL{0x1234}}) {
        const LimitReply reply = ask_limit(server, guid.get(), start);
        EXPECT_EQ(reply.status, S_OK) << hex(reply.status);
        EXPECT_EQ(reply.family_total, family_total ? VARIANT_TRUE : VARIANT_FALSE)
            << "FamilyTotal passed in as " << start;
        EXPECT_EQ(reply.maximum, maximum);
    }
}

inline std::u16string with_case(std::u16string_view text, bool upper)
{
    std::u16string s(text);
    for (char16_t& c : s) {
        if (upper && c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
        if (!upper && c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    }
    return s;
}

// Texts that resemble a GUID without being it.
inline std::vector<std::u16string> lookalikes(std::u16string_view guid)
{
    using namespace std::literals;
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
        g.substr(1, 36),  // without braces
        g.substr(0, 37),  // without the closing brace
        g.substr(1),      // without the opening brace
        u" " + g,
        g + u" ",
        u"\t" + g,
        g + u"\r\n",
        u"\u00A0" + g,  // a no-break space
        g + u"\0"s,     // a trailing zero unit
        u"\0"s + g,     // a leading zero unit
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

}  // namespace client
