// Helpers for a client of the module that read the same on every platform:
// they use only the automation runtime's names (the platform's own on
// Windows, the stand-in's elsewhere) and the interfaces IServer and
// _Collection. Reference-count probes, text of automation strings, variants
// as a caller builds them, and readers that turn a collection into text.
// Shared by the native tests and the Windows client tests.
#pragma once

#include "frame/iserver.h"
#include "runtime/bstr.h"
#include "runtime/com_ptr.h"
#include "runtime/variant.h"
#include "tests/common/expected_definition.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace client {

// ---- text ----

// The platform's text: 16-bit units on every platform this module runs on
// (char16_t natively, wchar_t on Windows), so the 16-bit literals of
// expected_definition.h are its text as they are.
using Text = std::basic_string<OLECHAR>;
using TextView = std::basic_string_view<OLECHAR>;
static_assert(sizeof(OLECHAR) == sizeof(char16_t), "automation text is 16 bits wide");

// A zero-terminated 16-bit literal as the platform's zero-terminated text.
inline const OLECHAR* as_ole(std::u16string_view zero_terminated)
{
    return reinterpret_cast<const OLECHAR*>(zero_terminated.data());
}

// Any 16-bit text as the platform's text, every unit of it.
inline Text as_text(std::u16string_view units)
{
    return Text(reinterpret_cast<const OLECHAR*>(units.data()), units.size());
}

// All SysStringLen units of an automation string; the null string is "".
inline Text text_of(BSTR s) { return s ? Text(s, SysStringLen(s)) : Text(); }

// Printable form of 16-bit text for failure messages: ASCII as is, anything
// else (a zero unit included) as \uXXXX.
inline std::string printable(TextView text)
{
    std::string out;
    for (OLECHAR c : text) {
        const unsigned unit = static_cast<unsigned>(c) & 0xFFFFu;
        if (unit >= 0x20 && unit < 0x7F) {
            out += static_cast<char>(unit);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04X", unit);
            out += buffer;
        }
    }
    return out;
}
#ifdef _WIN32
inline std::string printable(std::u16string_view text)
{
    return printable(TextView(as_text(text)));
}
#endif

inline std::string hex(HRESULT status)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(status));
    return buffer;
}

// ---- objects ----

// The object's reference count right now, read by an AddRef/Release pair.
inline ULONG refcount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

// ---- variants as a caller builds them; none owns what it points at ----

inline VARIANT of_type(VARTYPE vt)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}

inline VARIANT string_value(BSTR s)
{
    VARIANT v = of_type(VT_BSTR);
    v.bstrVal = s;
    return v;
}
inline VARIANT string_reference(BSTR* s)
{
    VARIANT v = of_type(VT_BYREF | VT_BSTR);
    v.pbstrVal = s;
    return v;
}
inline VARIANT variant_reference(VARIANT* inner)
{
    VARIANT v = of_type(VT_BYREF | VT_VARIANT);
    v.pvarVal = inner;
    return v;
}
inline VARIANT long_value(LONG n)
{
    VARIANT v = of_type(VT_I4);
    v.lVal = n;
    return v;
}
inline VARIANT bool_reference(VARIANT_BOOL* b)
{
    VARIANT v = of_type(VT_BYREF | VT_BOOL);
    v.pboolVal = b;
    return v;
}

// ---- the identity members ----

struct IdentityMember {
    const char* name;
    HRESULT (STDMETHODCALLTYPE IServer::*member)(BSTR*);
    std::u16string_view text;
    UINT length;  // counted by hand, not taken from the literal
};

inline const IdentityMember kIdentityMembers[] = {
    {"ServerCategory", &IServer::ServerCategory, expected::kServerCategory, 38},
    {"Name", &IServer::get_Name, expected::kName, 11},
    {"Description", &IServer::get_Description, expected::kDescription, 11},
    {"ReleaseNumber", &IServer::get_ReleaseNumber, expected::kReleaseNumber, 4},
    {"ServerGUID", &IServer::get_ServerGUID, expected::kServerGuid, 38},
};

// The members that answer text, by dispatch identifier, reached the ways a
// late-bound caller reaches them.
struct TextMemberCall {
    DISPID id;
    WORD flags;
    std::u16string_view text;  // the expected string result
};

inline constexpr WORD kEitherWay =
    DISPATCH_METHOD | DISPATCH_PROPERTYGET;  // what script engines send

inline const TextMemberCall kTextMemberCalls[] = {
    {1, DISPATCH_PROPERTYGET, expected::kName},
    {1, kEitherWay, expected::kName},
    {2, DISPATCH_PROPERTYGET, expected::kReleaseNumber},
    {2, kEitherWay, expected::kReleaseNumber},
    {3, DISPATCH_PROPERTYGET, expected::kDescription},
    {4, DISPATCH_PROPERTYGET, expected::kServerGuid},
    {4, kEitherWay, expected::kServerGuid},
    {9, DISPATCH_METHOD, expected::kServerCategory},
    {9, kEitherWay, expected::kServerCategory},
};

// ---- collections ----

// The elements of a collection as text, read through its vtable: by
// position, by key and through _NewEnum / IEnumVARIANT. Any element that is
// not a string, and any failing call, is reported as a test failure.

inline LONG count_of(_Collection* list)
{
    LONG n = -1;
    const HRESULT hr = list->Count(&n);
    EXPECT_EQ(hr, S_OK) << hex(hr);
    return n;
}

inline Text element_text(const VARIANT& v, const std::string& where)
{
    if (v.vt != VT_BSTR) {
        ADD_FAILURE() << where << ": the element is not a string value (vt " << v.vt << ")";
        return as_text(u"<not a string>");
    }
    return text_of(v.bstrVal);
}

inline std::vector<Text> items_by_position(_Collection* list)
{
    std::vector<Text> items;
    const LONG count = count_of(list);
    for (LONG i = 1; i <= count; ++i) {
        VARIANT index = long_value(i);
        rt::Variant element;
        const HRESULT hr = list->Item(&index, element.put());
        EXPECT_EQ(hr, S_OK) << "Item(" << i << "): " << hex(hr);
        items.push_back(SUCCEEDED(hr)
                            ? element_text(*element.get(), "position " + std::to_string(i))
                            : as_text(u"<missing>"));
    }
    return items;
}

inline std::vector<Text> items_by_key(_Collection* list, const std::vector<Text>& keys)
{
    std::vector<Text> items;
    for (const Text& key : keys) {
        rt::BStr k(SysAllocStringLen(key.data(), static_cast<UINT>(key.size())));
        EXPECT_NE(k.get(), nullptr);
        VARIANT index = string_value(k.get());
        rt::Variant element;
        const HRESULT hr = list->Item(&index, element.put());
        EXPECT_EQ(hr, S_OK) << "Item(\"" << printable(key) << "\"): " << hex(hr);
        items.push_back(SUCCEEDED(hr) ? element_text(*element.get(), "key " + printable(key))
                                      : as_text(u"<missing>"));
    }
    return items;
}

inline std::vector<Text> items_by_enumeration(_Collection* list)
{
    std::vector<Text> items;
    rt::ComPtr<IUnknown> unknown;
    HRESULT hr = list->_NewEnum(unknown.put());
    EXPECT_EQ(hr, S_OK) << "_NewEnum: " << hex(hr);
    if (!unknown) return items;
    rt::ComPtr<IEnumVARIANT> enumerator;
    hr = unknown->QueryInterface(IID_IEnumVARIANT, enumerator.put_void());
    EXPECT_EQ(hr, S_OK) << "IEnumVARIANT: " << hex(hr);
    if (!enumerator) return items;
    for (int guard = 0; guard < 100000; ++guard) {
        rt::Variant element;
        ULONG fetched = 99;
        hr = enumerator->Next(1, element.put(), &fetched);
        if (hr != S_OK) {
            EXPECT_EQ(hr, S_FALSE) << hex(hr);
            EXPECT_EQ(fetched, 0u);
            break;
        }
        EXPECT_EQ(fetched, 1u);
        items.push_back(
            element_text(*element.get(), "enumerated element " + std::to_string(items.size() + 1)));
    }
    return items;
}

// The catalogue as the client expects it.
inline std::vector<Text> expected_catalogue()
{
    std::vector<Text> all;
    for (std::u16string_view entry : expected::kCatalogue) all.push_back(as_text(entry));
    return all;
}

// A DefaultComponents answer holds the whole catalogue: 96 entries, read by
// position, by key (each entry under itself) and by enumeration, in order.
inline void expect_whole_catalogue(_Collection* list)
{
    EXPECT_EQ(count_of(list), 96);
    const std::vector<Text> want = expected_catalogue();
    struct Reading {
        const char* how;
        std::vector<Text> items;
    };
    const Reading readings[] = {
        {"by position", items_by_position(list)},
        {"by key", items_by_key(list, want)},
        {"by enumeration", items_by_enumeration(list)},
    };
    for (const Reading& r : readings) {
        SCOPED_TRACE(r.how);
        ASSERT_EQ(r.items.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i)
            EXPECT_EQ(r.items[i], want[i]) << "position " << i + 1 << ": " << printable(r.items[i]);
    }
}

}  // namespace client
