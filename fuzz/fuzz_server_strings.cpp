// IServer given arbitrary strings: any length, embedded zeros, unpaired
// surrogates, and the null string. GetMaximumLimit must answer exactly as the
// plain scan of the limit table in row order; GetAttachableGUIDs must give
// no list and IsAttachable 2, each with success; no argument may change and
// nothing may leak.
//
// Input: a flag byte, then the component, parent and attachment texts.
//   flags bit 0-2  the component / parent / attachment is the null string
//   flags bit 3    the component is a limit row's GUID, edited (see below)
//   flags bit 4    FamilyTotal goes in as True (else as a junk value)
//   flags bit 5    also ask through Invoke on the IServer face
// An edited row: row byte, edit byte (0 none, 1 replace, 2 delete, 3 insert,
// 4 flip letter case), position byte, unit. Each plain text: a length byte,
// then that many 16-bit units, little-endian.
#include "fuzz_support.h"

#include "definition/limits.h"
#include "tests/support/limit_scan.h"
#include "frame/server_class.h"
#include "runtime/bstr.h"
#include "runtime/com_ptr.h"
#include "runtime/variant.h"

#include <string>

using fuzzing::check;
using fuzzing::check_status;

namespace {

std::u16string plain_text(fuzzing::Reader& in)
{
    std::u16string text;
    const std::size_t length = in.byte();
    for (std::size_t i = 0; i < length && !in.empty(); ++i)
        text.push_back(static_cast<char16_t>(in.unit()));
    return text;
}

std::u16string edited_row(fuzzing::Reader& in)
{
    std::u16string text(orvanta::kLimitRows[in.below(orvanta::kLimitRows.size())].guid);
    const std::size_t edit = in.below(5);
    const std::size_t at = in.below(text.size() + 1);
    const char16_t unit = static_cast<char16_t>(in.unit());
    switch (edit) {
    case 1:
        if (at < text.size()) text[at] = unit;
        break;
    case 2:
        if (at < text.size()) text.erase(at, 1);
        break;
    case 3: text.insert(at, 1, unit); break;
    case 4:
        if (at < text.size()) {
            char16_t& c = text[at];
            if (c >= u'a' && c <= u'z')
                c = static_cast<char16_t>(c - 32);
            else if (c >= u'A' && c <= u'Z')
                c = static_cast<char16_t>(c + 32);
        }
        break;
    default: break;
    }
    return text;
}

// The caller's string variable: null, or a new string with these units.
rt::BStr argument(bool null, const std::u16string& text)
{
    if (null) return rt::BStr();
    return rt::BStr::copy_of(reinterpret_cast<const OLECHAR*>(text.data()),
                             static_cast<UINT>(text.size()));
}

std::u16string units_of(BSTR s)
{
    return s ? std::u16string(reinterpret_cast<const char16_t*>(s), SysStringLen(s))
             : std::u16string();
}

void check_unchanged(BSTR variable, BSTR original, const std::u16string& text, const char* what)
{
    check(variable == original, what, "the caller's string variable was replaced");
    check(units_of(variable) == text, what, "the caller's string was changed");
}

void ask(IServer* server, BSTR component, const std::u16string& component_text, BSTR parent,
         const std::u16string& parent_text, BSTR attachment, const std::u16string& attachment_text,
         uint8_t flags)
{
    const orvanta::LimitAnswer expected = orvanta::find_limit_by_scan(component_text);
    const VARIANT_BOOL expected_flag = expected.family_total ? VARIANT_TRUE : VARIANT_FALSE;
    const std::string shown = fuzzing::printable(component_text);

    // GetMaximumLimit, through the vtable.
    BSTR c = component;
    VARIANT_BOOL family_total = (flags & 0x10) ? VARIANT_TRUE : static_cast<VARIANT_BOOL>(0x1234);
    LONG maximum = 0x7EADBEEF;
    check_status(server->GetMaximumLimit(&c, &family_total, &maximum), S_OK, "GetMaximumLimit");
    check(maximum == expected.maximum, "GetMaximumLimit: maximum differs from the scan", shown);
    check(family_total == expected_flag, "GetMaximumLimit: FamilyTotal differs from the scan",
          shown);
    check_unchanged(c, component, component_text, "GetMaximumLimit");

    // GetAttachableGUIDs: no list for any parent; a stale result is overwritten.
    BSTR p = parent;
    _Collection* list = reinterpret_cast<_Collection*>(&list);
    check_status(server->GetAttachableGUIDs(&p, &list), S_OK, "GetAttachableGUIDs");
    check(list == nullptr, "GetAttachableGUIDs gave a list");
    check_unchanged(p, parent, parent_text, "GetAttachableGUIDs");

    // IsAttachable: 2 for any pair.
    BSTR a = attachment;
    LONG result = -5;
    check_status(server->IsAttachable(&p, &a, &result), S_OK, "IsAttachable");
    check(result == 2, "IsAttachable did not answer 2", std::to_string(result));
    check_unchanged(p, parent, parent_text, "IsAttachable");
    check_unchanged(a, attachment, attachment_text, "IsAttachable");

    if (!(flags & 0x20)) return;
    // The same question late-bound: the string by value or by reference, and
    // FamilyTotal in a variant by reference.
    VARIANT args[2];
    VARIANT flag_holder;
    VariantInit(&flag_holder);
    flag_holder.vt = VT_I4;  // replaced by a Boolean
    flag_holder.lVal = 77;
    VariantInit(&args[0]);
    args[0].vt = VT_BYREF | VT_VARIANT;
    args[0].pvarVal = &flag_holder;
    VariantInit(&args[1]);
    BSTR by_reference = component;
    if (flags & 0x01) {
        args[1].vt = VT_BYREF | VT_BSTR;
        args[1].pbstrVal = &by_reference;
    } else {
        args[1].vt = VT_BSTR;
        args[1].bstrVal = component;
    }
    DISPPARAMS params{args, nullptr, 2, 0};
    rt::Variant answer;
    EXCEPINFO exception{};
    check_status(server->Invoke(orvanta::kMemberGetMaximumLimit, IID_NULL, 0, DISPATCH_METHOD,
                                &params, answer.get(), &exception, nullptr),
                 S_OK, "Invoke(GetMaximumLimit)");
    check(answer->vt == VT_I4 && answer->lVal == expected.maximum,
          "Invoke: maximum differs from the scan", shown);
    check(flag_holder.vt == VT_BOOL && flag_holder.boolVal == expected_flag,
          "Invoke: FamilyTotal differs from the scan", shown);
    check(by_reference == component, "Invoke replaced the caller's string variable");
    check_unchanged(component, component, component_text, "Invoke(GetMaximumLimit)");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzzing::Reader in(data, size);
    const fuzzing::LiveCounts counts;
    rt::fail_allocation_after(0);
    {
        const uint8_t flags = in.byte();
        const std::u16string component_text = (flags & 0x08) ? edited_row(in) : plain_text(in);
        const std::u16string parent_text = plain_text(in);
        const std::u16string attachment_text = plain_text(in);
        // A null string is the empty string to every operation.
        const rt::BStr component = argument(flags & 0x01, component_text);
        const rt::BStr parent = argument(flags & 0x02, parent_text);
        const rt::BStr attachment = argument(flags & 0x04, attachment_text);

        rt::ComPtr<IServer> server;
        check_status(orvanta::CTivOrvantaZNA100::create(IID_IServer, server.put_void()), S_OK,
                     "create");
        ask(server.get(), component.get(), (flags & 0x01) ? std::u16string() : component_text,
            parent.get(), (flags & 0x02) ? std::u16string() : parent_text, attachment.get(),
            (flags & 0x04) ? std::u16string() : attachment_text, flags);
        check(server.detach()->Release() == 0, "the instance outlived its last reference");
    }
    counts.check();
    return 0;
}
