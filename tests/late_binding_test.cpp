// Late binding: the nine members by name and dispatch identifier on the
// IServer face, and no members at all on the default face.
#include "test_support.h"

#include "runtime/variant.h"

#include <cstring>
#include <vector>

using namespace testing_support;
using client::bool_reference;
using client::of_type;

namespace {

const std::u16string_view kRowGuid = expected::kLimitRows[0].guid;  // True, 99

// IServer's members by name, with their identifiers 1 to 9.
struct Member {
    std::u16string_view name;
    DISPID id;
};
std::vector<Member> server_members()
{
    std::vector<Member> members;
    for (const expected::ServerMember& m : expected::kServerMembers)
        members.push_back({m.name, static_cast<DISPID>(members.size() + 1)});
    return members;
}

DISPID id_of(IDispatch* d, std::u16string_view spelling, HRESULT* status = nullptr)
{
    std::u16string name(spelling);
    LPOLESTR names[] = {name.data()};
    DISPID id = 12345;
    const HRESULT hr = d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (status) *status = hr;
    return id;
}

// Arguments in the order a caller writes them; DISPPARAMS carries them last
// to first.
HRESULT invoke(IDispatch* d, DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result,
               EXCEPINFO* exception = nullptr, UINT* arg_err = nullptr, UINT named = 0,
               const IID& riid = IID_NULL)
{
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID named_ids[] = {0};
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), named ? named_ids : nullptr,
                      static_cast<UINT>(reversed.size()), named};
    return d->Invoke(id, riid, LOCALE_USER_DEFAULT, flags, &params, result, exception, arg_err);
}

void clear_exception(EXCEPINFO& e)
{
    SysFreeString(e.bstrSource);
    SysFreeString(e.bstrDescription);
    SysFreeString(e.bstrHelpFile);
    e = EXCEPINFO{};
}

class LateBinding : public LeakCheckedTest {};

TEST_F(LateBinding, NamesMapToTheirIdentifiersWithoutRegardToCase)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());
    for (const Member& m : server_members()) {
        std::u16string name(m.name), lower = name, upper = name;
        for (char16_t& c : lower) c = static_cast<char16_t>(c >= u'A' && c <= u'Z' ? c + 32 : c);
        for (char16_t& c : upper) c = static_cast<char16_t>(c >= u'a' && c <= u'z' ? c - 32 : c);
        for (const std::u16string& spelling : {name, lower, upper}) {
            SCOPED_TRACE(printable(spelling));
            HRESULT hr = E_FAIL;
            EXPECT_EQ(id_of(server.get(), spelling, &hr), m.id);
            EXPECT_EQ(hr, S_OK);
        }
    }
    for (const char16_t* unknown :
         {u"Names", u"Name ", u" Name", u"", u"get_Name", u"Item", u"Count", u"FamilyTotal",
          u"ComponentGUID", u"IServer", u"Name\u0131"}) {
        SCOPED_TRACE(printable(unknown));
        HRESULT hr = S_OK;
        EXPECT_EQ(id_of(server.get(), unknown, &hr), DISPID_UNKNOWN);
        EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
    }
    std::u16string name = u"Name";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    EXPECT_EQ(server->GetIDsOfNames(IID_IServer, names, 1, LOCALE_USER_DEFAULT, &id),
              DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(refcount(server.get()), refs);
}

TEST_F(LateBinding, PropertiesAreReadAndMethodsCalled)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());
    constexpr WORD kGet = DISPATCH_PROPERTYGET;
    constexpr WORD kCall = DISPATCH_METHOD;
    constexpr WORD kEither = DISPATCH_METHOD | DISPATCH_PROPERTYGET;  // what VB sends

    using Case = client::TextMemberCall;
    for (const Case& c : client::kTextMemberCalls) {
        SCOPED_TRACE("member " + std::to_string(c.id) + ", flags " + std::to_string(c.flags));
        rt::Variant result;
        ASSERT_EQ(invoke(server.get(), c.id, c.flags, {}, result.get()), S_OK);
        ASSERT_EQ(result->vt, VT_BSTR);
        EXPECT_EQ(text_of(result->bstrVal), c.text);
        // Without a place for the result, it is dropped, not leaked.
        EXPECT_EQ(invoke(server.get(), c.id, c.flags, {}, nullptr), S_OK);
        EXPECT_EQ(refcount(server.get()), refs);
    }

    // Reached the wrong way, a member is not found.
    const Case wrong_way[] = {
        {1, kCall, {}}, {9, kGet, {}}, {5, kGet, {}}, {1, DISPATCH_PROPERTYPUT, {}}};
    for (const Case& c : wrong_way) {
        rt::Variant result;
        EXPECT_EQ(invoke(server.get(), c.id, c.flags, {}, result.get()), DISP_E_MEMBERNOTFOUND);
    }

    // DefaultComponents: a collection the caller alone holds.
    for (WORD flags : {kCall, kEither}) {
        rt::Variant result;
        ASSERT_EQ(invoke(server.get(), 5, flags, {}, result.get()), S_OK);
        ASSERT_EQ(result->vt, VT_DISPATCH);
        ASSERT_NE(result->pdispVal, nullptr);
        rt::ComPtr<_Collection> list;
        ASSERT_EQ(result->pdispVal->QueryInterface(IID__Collection, list.put_void()), S_OK);
        EXPECT_EQ(count_of(list.get()), 96);
        const auto items = items_by_position(list.get());
        ASSERT_EQ(items.size(), 96u);
        EXPECT_EQ(items.front(), kRowGuid);
        EXPECT_EQ(items.back(), expected::kCatalogue[95]);
        list.reset();
        EXPECT_EQ(refcount(result->pdispVal), 1u);
        EXPECT_EQ(invoke(server.get(), 5, flags, {}, nullptr), S_OK);
    }

    // The methods with arguments.
    rt::BStr guid = bstr(kRowGuid);
    {
        rt::Variant result;
        ASSERT_EQ(invoke(server.get(), 7, kCall, {string_value(guid.get())}, result.get()), S_OK);
        EXPECT_EQ(result->vt, VT_DISPATCH);
        EXPECT_EQ(result->pdispVal, nullptr);
    }
    {
        rt::Variant result;
        ASSERT_EQ(invoke(server.get(), 6, kEither,
                         {string_value(guid.get()), string_value(guid.get())}, result.get()),
                  S_OK);
        EXPECT_EQ(result->vt, VT_I4);
        EXPECT_EQ(result->lVal, 2);
    }
    {
        VARIANT_BOOL family_total = 0;
        rt::Variant result;
        ASSERT_EQ(invoke(server.get(), 8, kCall,
                         {string_value(guid.get()), bool_reference(&family_total)}, result.get()),
                  S_OK);
        EXPECT_EQ(result->vt, VT_I4);
        EXPECT_EQ(result->lVal, 99);
        EXPECT_EQ(family_total, VARIANT_TRUE);
    }
    EXPECT_EQ(text_of(guid.get()), kRowGuid);
    EXPECT_EQ(refcount(server.get()), refs);
}

TEST_F(LateBinding, ArgumentsArriveInEveryFormACallerUses)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());
    rt::BStr guid = bstr(kRowGuid);
    BSTR guid_variable = guid.get();
    VARIANT guid_in_variant = string_value(guid.get());
    VARIANT reference_in_variant = string_reference(&guid_variable);

    // ComponentGUID in its forms, with the answer each must give.
    struct Component {
        const char* what;
        VARIANT arg;
        LONG maximum;
    };
    VARIANT number = long_value(5);
    VARIANT real = of_type(VT_R8);
    real.dblVal = 2.5;
    const Component components[] = {
        {"by value", string_value(guid.get()), 99},
        {"by reference", string_reference(&guid_variable), 99},
        {"in a variant by reference", variant_reference(&guid_in_variant), 99},
        {"a reference in a variant by reference", variant_reference(&reference_in_variant), 99},
        {"a number, as its text", number, -1},
        {"a real, as its text", real, -1},
        {"empty, as empty text", of_type(VT_EMPTY), -1},
    };
    for (const Component& c : components) {
        SCOPED_TRACE(c.what);
        VARIANT_BOOL family_total = 0x5A5A;
        rt::Variant result;
        ASSERT_EQ(invoke(server.get(), 8, DISPATCH_METHOD, {c.arg, bool_reference(&family_total)},
                         result.get()),
                  S_OK);
        EXPECT_EQ(result->vt, VT_I4);
        EXPECT_EQ(result->lVal, c.maximum);
        EXPECT_EQ(family_total, c.maximum == 99 ? VARIANT_TRUE : VARIANT_FALSE);
        EXPECT_EQ(guid_variable, guid.get());
        EXPECT_EQ(text_of(guid.get()), kRowGuid);

        rt::Variant attachable;
        ASSERT_EQ(invoke(server.get(), 6, DISPATCH_METHOD, {c.arg, c.arg}, attachable.get()), S_OK);
        EXPECT_EQ(attachable->lVal, 2);
    }

    // FamilyTotal written back through the forms that can carry it.
    VARIANT_BOOL inner_bool = 0;
    struct FamilyTotal {
        const char* what;
        VARIANT inner;  // what the caller's variant holds before the call
        bool written;
    };
    const FamilyTotal family_totals[] = {
        {"a variant holding nothing", of_type(VT_EMPTY), true},
        {"a variant holding text", string_value(SysAllocString(u"old")), true},
        {"a variant holding a number", long_value(7), true},
        {"a variant holding a Boolean reference", bool_reference(&inner_bool), true},
    };
    for (const FamilyTotal& f : family_totals) {
        SCOPED_TRACE(f.what);
        VARIANT caller = f.inner;
        inner_bool = 0;
        rt::Variant result;
        ASSERT_EQ(invoke(server.get(), 8, DISPATCH_METHOD,
                         {string_value(guid.get()), variant_reference(&caller)}, result.get()),
                  S_OK);
        EXPECT_EQ(result->lVal, 99);
        if (f.inner.vt == (VT_BYREF | VT_BOOL)) {
            EXPECT_EQ(caller.vt, VT_BYREF | VT_BOOL);
            EXPECT_EQ(inner_bool, VARIANT_TRUE);
        } else {
            EXPECT_EQ(caller.vt, VT_BOOL);
            EXPECT_EQ(caller.boolVal, VARIANT_TRUE);
        }
        VariantClear(&caller);
    }
    // By value it is accepted, and there is nowhere to write.
    VARIANT by_value = of_type(VT_BOOL);
    rt::Variant result;
    ASSERT_EQ(invoke(server.get(), 8, DISPATCH_METHOD, {string_value(guid.get()), by_value},
                     result.get()),
              S_OK);
    EXPECT_EQ(result->lVal, 99);
    EXPECT_EQ(refcount(server.get()), refs);
}

TEST_F(LateBinding, MalformedCallsAreRefused)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());
    rt::BStr guid = bstr(kRowGuid);
    VARIANT_BOOL family_total = 0x5A5A;
    const VARIANT text = string_value(guid.get());
    const VARIANT flag = bool_reference(&family_total);
    VARIANT error = of_type(VT_ERROR);
    error.scode = E_FAIL;
    const VARIANT missing = rt::missing_argument();
    const VARIANT null_reference = string_reference(nullptr);
    constexpr UINT kNoArg = 999;

    struct Case {
        const char* what;
        DISPID id;
        std::vector<VARIANT> args;
        HRESULT status;
        UINT arg_err = kNoArg;  // rgvarg index of the refused argument
        UINT named = 0;
        const IID* riid = &IID_NULL;
    };
    const Case cases[] = {
        {"Name with an argument", 1, {text}, DISP_E_BADPARAMCOUNT},
        {"GetMaximumLimit with one", 8, {text}, DISP_E_BADPARAMCOUNT},
        {"GetMaximumLimit with three", 8, {text, flag, text}, DISP_E_BADPARAMCOUNT},
        {"IsAttachable with none", 6, {}, DISP_E_BADPARAMCOUNT},
        {"GetAttachableGUIDs with two", 7, {text, text}, DISP_E_BADPARAMCOUNT},
        {"ComponentGUID Null", 8, {of_type(VT_NULL), flag}, DISP_E_TYPEMISMATCH, 1},
        {"ComponentGUID an error value", 8, {error, flag}, DISP_E_TYPEMISMATCH, 1},
        {"ComponentGUID a null reference", 8, {null_reference, flag}, DISP_E_TYPEMISMATCH, 1},
        {"ComponentGUID omitted", 8, {missing, flag}, DISP_E_PARAMNOTOPTIONAL, 1},
        {"FamilyTotal text", 8, {text, text}, DISP_E_TYPEMISMATCH, 0},
        {"ParentGUID Null", 6, {of_type(VT_NULL), text}, DISP_E_TYPEMISMATCH, 1},
        {"AttachmentGUID an error value", 6, {text, error}, DISP_E_TYPEMISMATCH, 0},
        {"GetAttachableGUIDs Null", 7, {of_type(VT_NULL)}, DISP_E_TYPEMISMATCH, 0},
        {"named arguments", 8, {text, flag}, DISP_E_NONAMEDARGS, kNoArg, 1},
        {"an interface identifier", 1, {}, DISP_E_UNKNOWNINTERFACE, kNoArg, 0, &IID_IServer},
        {"member 0", 0, {}, DISP_E_MEMBERNOTFOUND},
        {"member 10", 10, {}, DISP_E_MEMBERNOTFOUND},
        {"member -1", DISPID_UNKNOWN, {}, DISP_E_MEMBERNOTFOUND},
        {"the enumerator member", DISPID_NEWENUM, {}, DISP_E_MEMBERNOTFOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UINT arg_err = kNoArg;
        rt::Variant result;
        EXPECT_EQ(invoke(server.get(), c.id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, c.args,
                         result.get(), nullptr, &arg_err, c.named, *c.riid),
                  c.status);
        EXPECT_EQ(arg_err, c.arg_err);
        EXPECT_EQ(family_total, 0x5A5A) << "FamilyTotal written by a refused call";
        EXPECT_EQ(refcount(server.get()), refs);
    }
    // An unreadable argument block is refused before anything else is looked
    // at, on this face as on the collection.
    rt::ComPtr<_Collection> list;
    ASSERT_EQ(server->DefaultComponents(list.put()), S_OK);
    DISPPARAMS no_array{nullptr, nullptr, 2, 0};
    for (IDispatch* face :
         {static_cast<IDispatch*>(server.get()), static_cast<IDispatch*>(list.get())})
        for (DISPID id : {DISPID_VALUE, 8, 10}) {
            rt::Variant result;
            EXPECT_EQ(face->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, nullptr, result.get(),
                                   nullptr, nullptr),
                      E_INVALIDARG);
            EXPECT_EQ(face->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &no_array, result.get(),
                                   nullptr, nullptr),
                      E_INVALIDARG);
        }
    EXPECT_EQ(refcount(server.get()), refs);
}

TEST_F(LateBinding, DefaultFaceHasNoMembers)
{
    auto server = new_server();
    rt::ComPtr<IDispatch> face;
    ASSERT_EQ(server->QueryInterface(IID_IDispatch, face.put_void()), S_OK);
    ASSERT_NE(static_cast<void*>(face.get()), static_cast<void*>(server.get()));
    const ULONG refs = refcount(server.get());

    for (const Member& m : server_members()) {
        SCOPED_TRACE(printable(m.name));
        HRESULT hr = S_OK;
        EXPECT_EQ(id_of(face.get(), m.name, &hr), DISPID_UNKNOWN);
        EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
        for (WORD flags :
             {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_METHOD | DISPATCH_PROPERTYGET}) {
            rt::Variant result;
            EXPECT_EQ(invoke(face.get(), m.id, flags, {}, result.get()), DISP_E_MEMBERNOTFOUND);
        }
    }
    rt::Variant result;
    EXPECT_EQ(invoke(face.get(), DISPID_VALUE, DISPATCH_PROPERTYGET, {}, result.get()),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(invoke(face.get(), 1, DISPATCH_PROPERTYGET, {}, result.get(), nullptr, nullptr, 0,
                     IID_IServer),
              DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(refcount(server.get()), refs);
}

// Without the platform's type libraries neither face has type information:
// a count of 0, and no index names any.
TEST_F(LateBinding, NeitherFaceOffersTypeInformation)
{
    auto server = new_server();
    rt::ComPtr<IDispatch> face;
    ASSERT_EQ(server->QueryInterface(IID_IDispatch, face.put_void()), S_OK);
    const ULONG refs = refcount(server.get());
    for (IDispatch* d : {static_cast<IDispatch*>(server.get()), face.get()}) {
        // Before and after a name lookup, which makes the IServer face's choice.
        for (int round = 0; round < 2; ++round) {
            UINT count = 12345;
            EXPECT_EQ(d->GetTypeInfoCount(&count), S_OK);
            EXPECT_EQ(count, 0u);
            for (UINT index : {0u, 1u}) {
                ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&count);
                EXPECT_EQ(d->GetTypeInfo(index, LOCALE_USER_DEFAULT, &info), DISP_E_BADINDEX);
                EXPECT_EQ(info, nullptr);
            }
            id_of(d, u"Name");
        }
        EXPECT_EQ(d->GetTypeInfoCount(nullptr), E_POINTER);
        EXPECT_EQ(d->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr), E_POINTER);
    }
    EXPECT_EQ(refcount(server.get()), refs);
}

// A failure inside the operation reaches the late-bound caller as an
// exception carrying the status, described for the member that was invoked,
// never for some earlier failure.
TEST_F(LateBinding, FailuresReachTheCallerAsExceptions)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());
    rt::BStr guid = bstr(kRowGuid);

    struct Case {
        const char* member;
        DISPID id;
        std::vector<VARIANT> args;
        const char* inner_call;  // a collection call that may fail instead
    };
    VARIANT_BOOL family_total = 0x5A5A;
    const Case cases[] = {
        {"Name", 1, {}, nullptr},
        {"DefaultComponents", 5, {}, "_Collection.Add"},
        {"GetMaximumLimit", 8, {long_value(5), bool_reference(&family_total)}, nullptr},
        {"GetMaximumLimit", 8, {string_value(guid.get()), bool_reference(&family_total)}, nullptr},
    };
    auto names = [](std::u16string_view text, const char* name) {
        return name && text.find(std::u16string(name, name + std::strlen(name))) !=
                           std::u16string_view::npos;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.member);
        for (long n = 1;; ++n) {
            ASSERT_LT(n, 100000);
            LeakGuard leaks;
            // An earlier, unrelated failure with the same status.
            rt::BStr ignored;
            rt::fail_allocation_after(1);
            ASSERT_EQ(server->get_ReleaseNumber(ignored.put()), E_OUTOFMEMORY);

            EXCEPINFO exception{};
            rt::Variant result;
            family_total = 0x5A5A;
            rt::fail_allocation_after(n);
            const HRESULT hr = invoke(server.get(), c.id, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                      c.args, result.get(), &exception);
            rt::fail_allocation_after(0);
            if (hr == S_OK) break;
            SCOPED_TRACE("allocation " + std::to_string(n) + " refused");
            EXPECT_EQ(hr, DISP_E_EXCEPTION);
            EXPECT_EQ(exception.scode, E_OUTOFMEMORY);
            if (exception.bstrDescription) {
                const std::u16string description = text_of(exception.bstrDescription);
                EXPECT_TRUE(names(description, c.member) || names(description, c.inner_call))
                    << "describes another failure: " << printable(description);
            }
            EXPECT_EQ(family_total, 0x5A5A);
            clear_exception(exception);
            EXPECT_EQ(refcount(server.get()), refs);
            if (HasFailure()) return;
        }
    }
    EXPECT_EQ(refcount(server.get()), refs);
}

}  // namespace
