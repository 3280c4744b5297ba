#include "test_support.h"

#include "runtime/variant.h"

#include <cstdio>

namespace testing_support {

std::string printable(std::u16string_view text)
{
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}

rt::ComPtr<IServer> new_server()
{
    rt::ComPtr<IServer> server;
    const HRESULT hr = orvanta::CTivOrvantaZNA100::create(IID_IServer, server.put_void());
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(server);
    return server;
}

ErrorObjectReport take_error_object()
{
    ErrorObjectReport report;
    rt::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) return report;
    report.present = true;
    EXPECT_EQ(info->GetGUID(&report.guid), S_OK);
    rt::BStr text;
    EXPECT_EQ(info->GetDescription(text.put()), S_OK);
    report.description = text_of(text.get());
    EXPECT_EQ(info->GetSource(text.put()), S_OK);
    report.source = text_of(text.get());
    return report;
}

VARIANT string_value(BSTR s)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = s;
    return v;
}

VARIANT string_reference(BSTR* s)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_BSTR;
    v.pbstrVal = s;
    return v;
}

VARIANT variant_reference(VARIANT* inner)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = inner;
    return v;
}

VARIANT long_value(LONG n)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}

namespace {

std::u16string text_of_element(const VARIANT& v)
{
    if (v.vt != VT_BSTR) {
        ADD_FAILURE() << "element is not a string value (vt " << v.vt << ")";
        return u"<not a string>";
    }
    return text_of(v.bstrVal);
}

}  // namespace

LONG count_of(_Collection* list)
{
    LONG count = -1;
    EXPECT_EQ(list->Count(&count), S_OK);
    return count;
}

std::vector<std::u16string> items_by_position(_Collection* list)
{
    std::vector<std::u16string> items;
    const LONG count = count_of(list);
    for (LONG i = 1; i <= count; ++i) {
        VARIANT index = long_value(i);
        rt::Variant element;
        const HRESULT hr = list->Item(&index, element.put());
        EXPECT_EQ(hr, S_OK) << "Item(" << i << ")";
        items.push_back(SUCCEEDED(hr) ? text_of_element(*element.get()) : u"<missing>");
    }
    return items;
}

std::vector<std::u16string> items_by_key(_Collection* list, const std::vector<std::u16string>& keys)
{
    std::vector<std::u16string> items;
    for (const std::u16string& key : keys) {
        rt::BStr k = bstr(key);
        VARIANT index = string_value(k.get());
        rt::Variant element;
        const HRESULT hr = list->Item(&index, element.put());
        EXPECT_EQ(hr, S_OK) << "Item(\"" << printable(key) << "\")";
        items.push_back(SUCCEEDED(hr) ? text_of_element(*element.get()) : u"<missing>");
    }
    return items;
}

std::vector<std::u16string> items_by_enumeration(_Collection* list)
{
    std::vector<std::u16string> items;
    rt::ComPtr<IUnknown> unknown;
    EXPECT_EQ(list->_NewEnum(unknown.put()), S_OK);
    if (!unknown) return items;
    rt::ComPtr<IEnumVARIANT> enumerator;
    EXPECT_EQ(unknown->QueryInterface(IID_IEnumVARIANT, enumerator.put_void()), S_OK);
    if (!enumerator) return items;
    for (;;) {
        rt::Variant element;
        ULONG fetched = 0;
        const HRESULT hr = enumerator->Next(1, element.put(), &fetched);
        if (hr == S_FALSE) {
            EXPECT_EQ(fetched, 0u);
            break;
        }
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(fetched, 1u);
        if (hr != S_OK) break;
        items.push_back(text_of_element(*element.get()));
    }
    return items;
}

}  // namespace testing_support
