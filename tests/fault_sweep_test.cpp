// Every allocation an operation makes is refused in turn: the 1st, then the
// 2nd, and so on until the call gets through without meeting a refusal. Each
// refused run must end in the out-of-memory status (for a late-bound call on
// the class: DISP_E_EXCEPTION carrying it), leave the result empty, write
// nothing else, leak nothing and leave every object it touched exactly as it
// was: reference counts, the collection's elements and keys, an enumerator's
// place, the module's locks.
//
// One table covers the nine IServer operations (each also late-bound), the
// collection and its enumerator (each also late-bound where the collection
// offers it) and the class object.
#include "test_support.h"

#include "definition/catalogue.h"
#include "definition/identity.h"
#include "definition/limits.h"
#include "tests/support/limit_scan.h"
#include "runtime/module_state.h"
#include "runtime/variant.h"

#include <functional>
#include <iostream>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

constexpr std::u16string_view kLastRow = u"{E2657B9F-7F5B-11d2-BF88-00C04F79999C}";  // True, 255
constexpr std::u16string_view kLongKey = u"{E2657B80-7F5B-11d2-BF88-00C04F79999C}";
constexpr std::u16string_view kOtherLongKey = u"{C834B0FC-F7CF-4760-9BC0-86CC9303D79E}";
constexpr std::u16string_view kNewKey = u"{B71A8F5A-DAEF-4d31-BFC3-401AF9E09394}";

// What an operation works on; built afresh for every row of the table, so a
// successful call that changes it never disturbs the next row.
struct Scene {
    rt::ComPtr<IServer> server;
    rt::ComPtr<_Collection> list;
    rt::ComPtr<IEnumVARIANT> walker;  // on `list`, past its first element
    // list: "alpha" (key kLongKey), "gamma" (key "g"), "delta" (key
    // kOtherLongKey), 7 (no key)
    rt::ComPtr<IClassFactory> factory;
    rt::BStr guid = bstr(kLastRow);
    rt::BStr long_key = bstr(kLongKey);
    rt::BStr new_key = bstr(kNewKey);
    rt::BStr new_value = bstr(u"epsilon");
    rt::BStr long_text = bstr(std::u16string(300, u'x'));  // too large for the element chunks

    // The collection's keys, as Item and Remove are given them.
    std::vector<std::u16string> keys{std::u16string(kLongKey), u"g", std::u16string(kOtherLongKey)};
};

void add(_Collection* list, VARIANT item, const std::u16string& key)
{
    rt::BStr k = bstr(key);
    VARIANT key_value = key.empty() ? rt::missing_argument() : string_value(k.get());
    ASSERT_EQ(list->Add(&item, &key_value, nullptr, nullptr), S_OK);
}

void build(Scene& s)
{
    s.server = new_server();
    ASSERT_EQ(rt::create_collection(s.list.put()), S_OK);
    rt::BStr alpha = bstr(u"alpha"), gamma = bstr(u"gamma"), delta = bstr(u"delta");
    add(s.list.get(), string_value(alpha.get()), std::u16string(kLongKey));
    add(s.list.get(), string_value(gamma.get()), u"g");
    add(s.list.get(), string_value(delta.get()), std::u16string(kOtherLongKey));
    add(s.list.get(), long_value(7), u"");
    rt::ComPtr<IUnknown> unknown;
    ASSERT_EQ(s.list->_NewEnum(unknown.put()), S_OK);
    ASSERT_EQ(unknown->QueryInterface(IID_IEnumVARIANT, s.walker.put_void()), S_OK);
    ASSERT_EQ(s.walker->Skip(1), S_OK);
    ASSERT_EQ(DllGetClassObject(CLSID_CTivOrvantaZNA100, IID_IClassFactory, s.factory.put_void()),
              S_OK);
}

// An element as text for comparisons: strings as they are, numbers marked.
std::u16string shown(const VARIANT& v)
{
    if (v.vt == VT_BSTR) return text_of(v.bstrVal);
    if (v.vt == VT_I4) return u"#" + std::u16string(1, static_cast<char16_t>(u'0' + v.lVal % 10));
    return u"<vt " + std::u16string(1, static_cast<char16_t>(u'0' + v.vt % 64)) + u">";
}

// Everything a refused allocation must leave as it was.
struct State {
    long strings = 0;
    long objects = 0;
    long locks = 0;
    ULONG server_refs = 0;
    ULONG list_refs = 0;
    ULONG walker_refs = 0;
    std::vector<std::u16string> elements;   // by position
    std::vector<std::u16string> by_key;     // Item of each known key, or its status
    std::vector<std::u16string> remaining;  // what the enumerator has still to give

    bool operator==(const State& o) const
    {
        return strings == o.strings && objects == o.objects && locks == o.locks &&
               server_refs == o.server_refs && list_refs == o.list_refs &&
               walker_refs == o.walker_refs && elements == o.elements && by_key == o.by_key &&
               remaining == o.remaining;
    }
};

std::ostream& operator<<(std::ostream& out, const State& s)
{
    out << "strings " << s.strings << ", objects " << s.objects << ", locks " << s.locks
        << ", refs " << s.server_refs << "/" << s.list_refs << "/" << s.walker_refs << ", elements";
    for (const auto& e : s.elements) out << " " << printable(e);
    out << ", by key";
    for (const auto& e : s.by_key) out << " " << printable(e);
    out << ", remaining";
    for (const auto& e : s.remaining) out << " " << printable(e);
    return out;
}

// Read with the hook disarmed. The counts come first: reading allocates.
State state_of(Scene& s)
{
    State st;
    st.strings = rt::live_strings();
    st.objects = rt::live_objects();
    st.locks = rt::module_locks();
    st.server_refs = refcount(s.server.get());
    st.list_refs = refcount(s.list.get());
    st.walker_refs = refcount(s.walker.get());
    LONG count = 0;
    EXPECT_EQ(s.list->Count(&count), S_OK);
    for (LONG i = 1; i <= count; ++i) {
        VARIANT index = long_value(i);
        rt::Variant v;
        EXPECT_EQ(s.list->Item(&index, v.put()), S_OK);
        st.elements.push_back(shown(*v.get()));
    }
    for (const auto& key : s.keys) {
        rt::BStr k = bstr(key);
        VARIANT index = string_value(k.get());
        rt::Variant v;
        const HRESULT hr = s.list->Item(&index, v.put());
        st.by_key.push_back(hr == S_OK ? shown(*v.get()) : u"<missing>");
    }
    rt::ComPtr<IEnumVARIANT> clone;
    EXPECT_EQ(s.walker->Clone(clone.put()), S_OK);
    for (;;) {
        rt::Variant v;
        if (clone->Next(1, v.put(), nullptr) != S_OK) break;
        st.remaining.push_back(shown(*v.get()));
    }
    return st;
}

// Markers for result variables: a stale value the call must overwrite (never
// free) with its result, or with null when it fails.
int g_stale_marker;
void* stale() { return &g_stale_marker; }
constexpr LONG kStaleLong = 4321;
constexpr VARIANT_BOOL kUntouched = 0x5A5A;

// Whatever an operation hands back, owned until the row is done with it.
struct Answer {
    BSTR text = static_cast<BSTR>(stale());
    IUnknown* object = static_cast<IUnknown*>(stale());
    LONG number = kStaleLong;
    VARIANT_BOOL family_total = kUntouched;
    VARIANT value;      // a late-bound result, or what Item gives
    VARIANT values[2];  // what Next gives
    ULONG fetched = 99;
    EXCEPINFO exception{};

    Answer()
    {
        VariantInit(&value);
        VariantInit(&values[0]);
        VariantInit(&values[1]);
    }
    Answer(const Answer&) = delete;
    Answer& operator=(const Answer&) = delete;
    ~Answer()
    {
        if (text != stale()) SysFreeString(text);
        if (object != stale() && object) object->Release();
        VariantClear(&value);
        VariantClear(&values[0]);
        VariantClear(&values[1]);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
    }

    template <class T>
    T** object_slot()
    {
        return reinterpret_cast<T**>(&object);
    }
};

// Arguments in the order a caller writes them; DISPPARAMS carries them last
// to first, in an array of exactly their number.
HRESULT invoke(IDispatch* target, DISPID id, WORD flags, std::vector<VARIANT> args, Answer& a)
{
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                      static_cast<UINT>(reversed.size()), 0};
    return target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &a.value, &a.exception,
                          nullptr);
}

constexpr WORD kGetOrCall = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

VARIANT bool_reference(VARIANT_BOOL* b)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_BOOL;
    v.pboolVal = b;
    return v;
}

// Which result variable carries the operation's answer; on failure it must
// be empty (null, 0 or VT_EMPTY) and every other one untouched.
enum class Result { kText, kObject, kLong, kValue, kValues, kNone };
// How an exhausted memory reaches the caller.
enum class Refusal {
    kStatus,     // E_OUTOFMEMORY returned
    kException,  // DISP_E_EXCEPTION, with E_OUTOFMEMORY in EXCEPINFO
};

struct Operation {
    const char* name;
    Result result;
    Refusal refusal;
    long fewest_points;  // allocation points the call is known to have at least
    bool changes_scene;  // a successful call changes the scene (Add, Remove, Next...)
    std::function<HRESULT(Scene&, Answer&)> call;
    std::function<void(Scene&, Answer&)> check_success;
    std::function<void(Scene&)> prepare = nullptr;  // shapes the scene first, hook disarmed
};

void expect_text(const Answer& a, std::u16string_view expected)
{
    EXPECT_EQ(text_of(a.text), std::u16string(expected));
}

void expect_value_text(const Answer& a, std::u16string_view expected)
{
    ASSERT_EQ(a.value.vt, VT_BSTR);
    EXPECT_EQ(text_of(a.value.bstrVal), std::u16string(expected));
}

void expect_catalogue(IUnknown* object)
{
    ASSERT_NE(object, nullptr);
    rt::ComPtr<_Collection> list;
    ASSERT_EQ(object->QueryInterface(IID__Collection, list.put_void()), S_OK);
    const std::vector<std::u16string> items = items_by_position(list.get());
    ASSERT_EQ(items.size(), orvanta::kDefaultComponents.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(items[i], std::u16string(orvanta::kDefaultComponents[i])) << "position " << i + 1;
}

// Expected answer of a late-bound identity read.
std::function<void(Scene&, Answer&)> late_text(std::u16string_view expected)
{
    return [expected](Scene&, Answer& a) { expect_value_text(a, expected); };
}
std::function<void(Scene&, Answer&)> direct_text(std::u16string_view expected)
{
    return [expected](Scene&, Answer& a) { expect_text(a, expected); };
}

std::vector<std::u16string> elements_of(Scene& s) { return state_of(s).elements; }

std::vector<Operation> operations()
{
    using orvanta::kMemberDefaultComponents;
    const orvanta::LimitAnswer last = orvanta::find_limit_by_scan(kLastRow);
    std::vector<Operation> ops = {
        // ---- IServer, through its vtable ----
        {"IServer.Name", Result::kText, Refusal::kStatus, 1, false,
         [](Scene& s, Answer& a) { return s.server->get_Name(&a.text); },
         direct_text(orvanta::kServerName)},
        {"IServer.ReleaseNumber", Result::kText, Refusal::kStatus, 1, false,
         [](Scene& s, Answer& a) { return s.server->get_ReleaseNumber(&a.text); },
         direct_text(orvanta::kReleaseNumber)},
        {"IServer.Description", Result::kText, Refusal::kStatus, 1, false,
         [](Scene& s, Answer& a) { return s.server->get_Description(&a.text); },
         direct_text(orvanta::kServerDescription)},
        {"IServer.ServerGUID", Result::kText, Refusal::kStatus, 1, false,
         [](Scene& s, Answer& a) { return s.server->get_ServerGUID(&a.text); },
         direct_text(orvanta::kServerGuid)},
        {"IServer.DefaultComponents", Result::kObject, Refusal::kStatus, 15, false,
         [](Scene& s, Answer& a) {
             return s.server->DefaultComponents(a.object_slot<_Collection>());
         },
         [](Scene&, Answer& a) { expect_catalogue(a.object); }},
        {"IServer.IsAttachable", Result::kLong, Refusal::kStatus, 0, false,
         [](Scene& s, Answer& a) {
             BSTR parent = s.guid.get();
             BSTR attachment = s.long_key.get();
             const HRESULT hr = s.server->IsAttachable(&parent, &attachment, &a.number);
             EXPECT_EQ(parent, s.guid.get());
             EXPECT_EQ(attachment, s.long_key.get());
             return hr;
         },
         [](Scene&, Answer& a) { EXPECT_EQ(a.number, 2); }},
        {"IServer.GetAttachableGUIDs", Result::kObject, Refusal::kStatus, 0, false,
         [](Scene& s, Answer& a) {
             BSTR parent = s.guid.get();
             return s.server->GetAttachableGUIDs(&parent, a.object_slot<_Collection>());
         },
         [](Scene&, Answer& a) { EXPECT_EQ(a.object, nullptr); }},
        {"IServer.GetMaximumLimit", Result::kLong, Refusal::kStatus, 1, false,
         [](Scene& s, Answer& a) {
             BSTR component = s.guid.get();
             const HRESULT hr = s.server->GetMaximumLimit(&component, &a.family_total, &a.number);
             EXPECT_EQ(component, s.guid.get()) << "the caller's string variable changed";
             return hr;
         },
         [last](Scene&, Answer& a) {
             EXPECT_EQ(a.number, last.maximum);
             EXPECT_EQ(a.family_total, last.family_total ? VARIANT_TRUE : VARIANT_FALSE);
             a.family_total = kUntouched;
         }},
        {"IServer.ServerCategory", Result::kText, Refusal::kStatus, 1, false,
         [](Scene& s, Answer& a) { return s.server->ServerCategory(&a.text); },
         direct_text(orvanta::kServerCategory)},

        // ---- IServer, late-bound ----
        {"IServer.Invoke(Name)", Result::kValue, Refusal::kException, 1, false,
         [](Scene& s, Answer& a) {
             return invoke(s.server.get(), orvanta::kMemberName, kGetOrCall, {}, a);
         },
         late_text(orvanta::kServerName)},
        {"IServer.Invoke(ReleaseNumber)", Result::kValue, Refusal::kException, 1, false,
         [](Scene& s, Answer& a) {
             return invoke(s.server.get(), orvanta::kMemberReleaseNumber, kGetOrCall, {}, a);
         },
         late_text(orvanta::kReleaseNumber)},
        {"IServer.Invoke(Description)", Result::kValue, Refusal::kException, 1, false,
         [](Scene& s, Answer& a) {
             return invoke(s.server.get(), orvanta::kMemberDescription, kGetOrCall, {}, a);
         },
         late_text(orvanta::kServerDescription)},
        {"IServer.Invoke(ServerGUID)", Result::kValue, Refusal::kException, 1, false,
         [](Scene& s, Answer& a) {
             return invoke(s.server.get(), orvanta::kMemberServerGUID, kGetOrCall, {}, a);
         },
         late_text(orvanta::kServerGuid)},
        {"IServer.Invoke(DefaultComponents)", Result::kValue, Refusal::kException, 15, false,
         [](Scene& s, Answer& a) {
             return invoke(s.server.get(), kMemberDefaultComponents, kGetOrCall, {}, a);
         },
         [](Scene&, Answer& a) {
             ASSERT_EQ(a.value.vt, VT_DISPATCH);
             expect_catalogue(a.value.pdispVal);
         }},
        {"IServer.Invoke(IsAttachable)", Result::kValue, Refusal::kException, 0, false,
         [](Scene& s, Answer& a) {
             return invoke(s.server.get(), orvanta::kMemberIsAttachable, kGetOrCall,
                           {string_value(s.guid.get()), string_value(s.long_key.get())}, a);
         },
         [](Scene&, Answer& a) {
             ASSERT_EQ(a.value.vt, VT_I4);
             EXPECT_EQ(a.value.lVal, 2);
         }},
        {"IServer.Invoke(GetAttachableGUIDs)", Result::kValue, Refusal::kException, 0, false,
         [](Scene& s, Answer& a) {
             return invoke(s.server.get(), orvanta::kMemberGetAttachableGUIDs, kGetOrCall,
                           {string_value(s.guid.get())}, a);
         },
         [](Scene&, Answer& a) {
             ASSERT_EQ(a.value.vt, VT_DISPATCH);
             EXPECT_EQ(a.value.pdispVal, nullptr);
         }},
        {"IServer.Invoke(GetMaximumLimit)", Result::kValue, Refusal::kException, 1, false,
         [](Scene& s, Answer& a) {
             return invoke(s.server.get(), orvanta::kMemberGetMaximumLimit, kGetOrCall,
                           {string_value(s.guid.get()), bool_reference(&a.family_total)}, a);
         },
         [last](Scene&, Answer& a) {
             ASSERT_EQ(a.value.vt, VT_I4);
             EXPECT_EQ(a.value.lVal, last.maximum);
             EXPECT_EQ(a.family_total, last.family_total ? VARIANT_TRUE : VARIANT_FALSE);
             a.family_total = kUntouched;
         }},
        // A number for ComponentGUID is converted to text first: one more
        // allocation, made before the operation runs.
        {"IServer.Invoke(GetMaximumLimit, number)", Result::kValue, Refusal::kException, 2, false,
         [](Scene& s, Answer& a) {
             return invoke(s.server.get(), orvanta::kMemberGetMaximumLimit, kGetOrCall,
                           {long_value(123456789), bool_reference(&a.family_total)}, a);
         },
         [](Scene&, Answer& a) {
             ASSERT_EQ(a.value.vt, VT_I4);
             EXPECT_EQ(a.value.lVal, -1);
             EXPECT_EQ(a.family_total, VARIANT_FALSE);
             a.family_total = kUntouched;
         }},
        {"IServer.Invoke(ServerCategory)", Result::kValue, Refusal::kException, 1, false,
         [](Scene& s, Answer& a) {
             return invoke(s.server.get(), orvanta::kMemberServerCategory, kGetOrCall, {}, a);
         },
         late_text(orvanta::kServerCategory)},

        // ---- the collection ----
        // With room in the order, the key index and the element chunks, an
        // Add allocates nothing.
        {"Collection.Add(keyed)", Result::kNone, Refusal::kStatus, 0, true,
         [](Scene& s, Answer&) {
             VARIANT item = string_value(s.new_value.get()), key = string_value(s.new_key.get());
             return s.list->Add(&item, &key, nullptr, nullptr);
         },
         [](Scene& s, Answer&) {
             s.keys.push_back(std::u16string(kNewKey));
             const State st = state_of(s);
             ASSERT_EQ(st.elements.size(), 5u);
             EXPECT_EQ(st.elements.back(), u"epsilon");
             EXPECT_EQ(st.by_key.back(), u"epsilon");
         }},
        {"Collection.Add(unkeyed)", Result::kNone, Refusal::kStatus, 0, true,
         [](Scene& s, Answer&) {
             VARIANT item = string_value(s.new_value.get());
             VARIANT missing = rt::missing_argument();
             return s.list->Add(&item, &missing, &missing, &missing);
         },
         [](Scene& s, Answer&) {
             const auto elements = elements_of(s);
             ASSERT_EQ(elements.size(), 5u);
             EXPECT_EQ(elements.back(), u"epsilon");
         }},
        // The number's text and the folded Before key.
        {"Collection.Add(number key, before a key)", Result::kNone, Refusal::kStatus, 2, true,
         [](Scene& s, Answer&) {
             VARIANT item = string_value(s.new_value.get()), key = long_value(987654321);
             VARIANT before = string_value(s.long_key.get());
             return s.list->Add(&item, &key, &before, nullptr);
         },
         [](Scene& s, Answer&) {
             s.keys.push_back(u"987654321");
             const State st = state_of(s);
             ASSERT_EQ(st.elements.size(), 5u);
             EXPECT_EQ(st.elements.front(), u"epsilon");
             EXPECT_EQ(st.by_key.back(), u"epsilon");
         }},
        // The order is full (8 elements): the element and the order's growth.
        {"Collection.Add(keyed, the order grows)", Result::kNone, Refusal::kStatus, 2, true,
         [](Scene& s, Answer&) {
             VARIANT item = string_value(s.new_value.get()), key = string_value(s.new_key.get());
             return s.list->Add(&item, &key, nullptr, nullptr);
         },
         [](Scene& s, Answer&) {
             s.keys.push_back(std::u16string(kNewKey));
             const State st = state_of(s);
             ASSERT_EQ(st.elements.size(), 9u);
             EXPECT_EQ(st.by_key.back(), u"epsilon");
         },
         [](Scene& s) {
             for (LONG n = 0; n < 4; ++n) add(s.list.get(), long_value(n), u"");
         }},
        // A value too large for the element chunks: allocated alone.
        {"Collection.Add(long text)", Result::kNone, Refusal::kStatus, 1, true,
         [](Scene& s, Answer&) {
             VARIANT item = string_value(s.long_text.get()), key = string_value(s.new_key.get());
             return s.list->Add(&item, &key, nullptr, nullptr);
         },
         [](Scene& s, Answer&) {
             s.keys.push_back(std::u16string(kNewKey));
             EXPECT_EQ(state_of(s).by_key.back(), std::u16string(300, u'x'));
         }},
        // Eight keys: the ninth makes the key index grow (two arrays).
        {"Collection.Add(keyed, the key index grows)", Result::kNone, Refusal::kStatus, 2, true,
         [](Scene& s, Answer&) {
             VARIANT item = string_value(s.new_value.get()), key = string_value(s.new_key.get());
             return s.list->Add(&item, &key, nullptr, nullptr);
         },
         [](Scene& s, Answer&) {
             s.keys.push_back(std::u16string(kNewKey));
             EXPECT_EQ(state_of(s).by_key.back(), u"epsilon");
         },
         [](Scene& s) {
             for (char16_t k = u'p'; k < u'u'; ++k) {
                 s.keys.push_back(std::u16string(1, k));
                 add(s.list.get(), long_value(k), s.keys.back());
             }
         }},
        {"Collection.Item(key)", Result::kValue, Refusal::kStatus, 2, false,
         [](Scene& s, Answer& a) {
             VARIANT index = string_value(s.long_key.get());
             return s.list->Item(&index, &a.value);
         },
         [](Scene&, Answer& a) { expect_value_text(a, u"alpha"); }},
        {"Collection.Item(position)", Result::kValue, Refusal::kStatus, 1, false,
         [](Scene& s, Answer& a) {
             VARIANT index = long_value(3);
             return s.list->Item(&index, &a.value);
         },
         [](Scene&, Answer& a) { expect_value_text(a, u"delta"); }},
        {"Collection.Count", Result::kLong, Refusal::kStatus, 0, false,
         [](Scene& s, Answer& a) { return s.list->Count(&a.number); },
         [](Scene&, Answer& a) { EXPECT_EQ(a.number, 4); }},
        {"Collection.Remove(key)", Result::kNone, Refusal::kStatus, 1, true,
         [](Scene& s, Answer&) {
             VARIANT index = string_value(s.long_key.get());
             return s.list->Remove(&index);
         },
         [](Scene& s, Answer&) {
             const State st = state_of(s);
             EXPECT_EQ(st.elements, (std::vector<std::u16string>{u"gamma", u"delta", u"#7"}));
             EXPECT_EQ(st.by_key.front(), u"<missing>");
         }},
        {"Collection.Remove(position)", Result::kNone, Refusal::kStatus, 0, true,
         [](Scene& s, Answer&) {
             VARIANT index = long_value(4);
             return s.list->Remove(&index);
         },
         [](Scene& s, Answer&) {
             EXPECT_EQ(elements_of(s), (std::vector<std::u16string>{u"alpha", u"gamma", u"delta"}));
         }},
        {"Collection._NewEnum", Result::kObject, Refusal::kStatus, 1, false,
         [](Scene& s, Answer& a) { return s.list->_NewEnum(&a.object); },
         [](Scene&, Answer& a) {
             ASSERT_NE(a.object, nullptr);
             rt::ComPtr<IEnumVARIANT> e;
             ASSERT_EQ(a.object->QueryInterface(IID_IEnumVARIANT, e.put_void()), S_OK);
             rt::Variant first;
             ASSERT_EQ(e->Next(1, first.put(), nullptr), S_OK);
             EXPECT_EQ(shown(*first.get()), u"alpha");
         }},
        {"Enumerator.Next", Result::kValues, Refusal::kStatus, 2, true,
         [](Scene& s, Answer& a) { return s.walker->Next(2, a.values, &a.fetched); },
         [](Scene& s, Answer& a) {
             EXPECT_EQ(a.fetched, 2u);
             EXPECT_EQ(shown(a.values[0]), u"gamma");
             EXPECT_EQ(shown(a.values[1]), u"delta");
             EXPECT_EQ(state_of(s).remaining, std::vector<std::u16string>{u"#7"});
         }},
        {"Enumerator.Skip", Result::kNone, Refusal::kStatus, 0, true,
         [](Scene& s, Answer&) { return s.walker->Skip(2); },
         [](Scene& s, Answer&) {
             EXPECT_EQ(state_of(s).remaining, std::vector<std::u16string>{u"#7"});
         }},
        {"Enumerator.Reset", Result::kNone, Refusal::kStatus, 0, true,
         [](Scene& s, Answer&) { return s.walker->Reset(); },
         [](Scene& s, Answer&) { EXPECT_EQ(state_of(s).remaining.size(), 4u); }},
        {"Enumerator.Clone", Result::kObject, Refusal::kStatus, 1, false,
         [](Scene& s, Answer& a) { return s.walker->Clone(a.object_slot<IEnumVARIANT>()); },
         [](Scene&, Answer& a) {
             ASSERT_NE(a.object, nullptr);
             rt::Variant next;
             ASSERT_EQ(static_cast<IEnumVARIANT*>(a.object)->Next(1, next.put(), nullptr), S_OK);
             EXPECT_EQ(shown(*next.get()), u"gamma");
         }},

        // ---- the collection, late-bound ----
        // Every failure of an operation comes back as an exception, as on the
        // class's faces.
        {"Collection.Invoke(Item)", Result::kValue, Refusal::kException, 2, false,
         [](Scene& s, Answer& a) {
             return invoke(s.list.get(), DISPID_VALUE, kGetOrCall, {string_value(s.long_key.get())},
                           a);
         },
         [](Scene&, Answer& a) { expect_value_text(a, u"alpha"); }},
        {"Collection.Invoke(Add)", Result::kValue, Refusal::kException, 0, true,
         [](Scene& s, Answer& a) {
             return invoke(s.list.get(), 1, DISPATCH_METHOD,
                           {string_value(s.new_value.get()), string_value(s.new_key.get())}, a);
         },
         [](Scene& s, Answer& a) {
             EXPECT_EQ(a.value.vt, VT_EMPTY);
             s.keys.push_back(std::u16string(kNewKey));
             EXPECT_EQ(state_of(s).by_key.back(), u"epsilon");
         }},
        {"Collection.Invoke(Count)", Result::kValue, Refusal::kException, 0, false,
         [](Scene& s, Answer& a) { return invoke(s.list.get(), 2, DISPATCH_PROPERTYGET, {}, a); },
         [](Scene&, Answer& a) {
             ASSERT_EQ(a.value.vt, VT_I4);
             EXPECT_EQ(a.value.lVal, 4);
         }},
        {"Collection.Invoke(Remove)", Result::kValue, Refusal::kException, 1, true,
         [](Scene& s, Answer& a) {
             return invoke(s.list.get(), 3, DISPATCH_METHOD, {string_value(s.long_key.get())}, a);
         },
         [](Scene& s, Answer&) { EXPECT_EQ(elements_of(s).size(), 3u); }},
        {"Collection.Invoke(_NewEnum)", Result::kValue, Refusal::kException, 1, false,
         [](Scene& s, Answer& a) {
             return invoke(s.list.get(), DISPID_NEWENUM, kGetOrCall, {}, a);
         },
         [](Scene&, Answer& a) {
             ASSERT_EQ(a.value.vt, VT_UNKNOWN);
             EXPECT_NE(a.value.punkVal, nullptr);
         }},

        // ---- the class object ----
        {"DllGetClassObject", Result::kObject, Refusal::kStatus, 0, false,
         [](Scene&, Answer& a) {
             return DllGetClassObject(CLSID_CTivOrvantaZNA100, IID_IClassFactory,
                                      a.object_slot<void>());
         },
         [](Scene& s, Answer& a) { EXPECT_EQ(a.object, s.factory.get()); }},
        {"IClassFactory.CreateInstance(IServer)", Result::kObject, Refusal::kStatus, 1, false,
         [](Scene& s, Answer& a) {
             return s.factory->CreateInstance(nullptr, IID_IServer, a.object_slot<void>());
         },
         [](Scene&, Answer& a) {
             ASSERT_NE(a.object, nullptr);
             Answer name;
             EXPECT_EQ(static_cast<IServer*>(a.object)->get_Name(&name.text), S_OK);
             expect_text(name, orvanta::kServerName);
         }},
        {"IClassFactory.CreateInstance(IUnknown)", Result::kObject, Refusal::kStatus, 1, false,
         [](Scene& s, Answer& a) {
             return s.factory->CreateInstance(nullptr, IID_IUnknown, a.object_slot<void>());
         },
         [](Scene&, Answer& a) { EXPECT_NE(a.object, nullptr); }},
        {"IClassFactory.LockServer", Result::kNone, Refusal::kStatus, 0, false,
         [](Scene& s, Answer&) {
             const long locks = rt::module_locks();
             const HRESULT locked = s.factory->LockServer(TRUE);
             EXPECT_EQ(rt::module_locks(), locks + 1);
             const HRESULT unlocked = s.factory->LockServer(FALSE);
             return FAILED(locked) ? locked : unlocked;
         },
         nullptr},
    };

    return ops;
}

// The result variable is empty and the others untouched after a failure.
void expect_empty_result(const Operation& op, const Answer& a)
{
    const bool text_is_result = op.result == Result::kText;
    const bool object_is_result = op.result == Result::kObject;
    const bool long_is_result = op.result == Result::kLong;
    EXPECT_EQ(a.text, text_is_result ? nullptr : static_cast<BSTR>(stale()));
    EXPECT_EQ(a.object, object_is_result ? nullptr : static_cast<IUnknown*>(stale()));
    EXPECT_EQ(a.number, long_is_result ? 0 : kStaleLong);
    EXPECT_EQ(a.value.vt, VT_EMPTY);
    EXPECT_EQ(a.values[0].vt, VT_EMPTY);
    EXPECT_EQ(a.values[1].vt, VT_EMPTY);
    if (op.result == Result::kValues) {
        EXPECT_EQ(a.fetched, 0u);
    }
    EXPECT_EQ(a.family_total, kUntouched) << "FamilyTotal written by a failed call";
}

void expect_refusal(const Operation& op, HRESULT hr, const Answer& a)
{
    if (op.refusal == Refusal::kStatus) {
        EXPECT_EQ(hr, E_OUTOFMEMORY);
        return;
    }
    EXPECT_EQ(hr, DISP_E_EXCEPTION);
    EXPECT_EQ(a.exception.scode, E_OUTOFMEMORY);
    EXPECT_EQ(a.exception.wCode, 0);
}

class FaultSweep : public LeakCheckedTest {};

TEST_F(FaultSweep, EveryAllocationOfEveryOperationFailsInTurn)
{
    const std::vector<Operation> table = operations();
    long total = 0;
    for (const Operation& op : table) {
        SCOPED_TRACE(op.name);
        const LeakGuard row_leaks;
        long points = 0;
        {
            Scene scene;
            build(scene);
            if (op.prepare) op.prepare(scene);
            if (HasFatalFailure()) return;
            const State start = state_of(scene);
            for (long n = 1;; ++n) {
                ASSERT_LT(n, 100000) << "no end to the allocations";
                SCOPED_TRACE("allocation " + std::to_string(n) + " refused");
                const State before = state_of(scene);
                HRESULT hr = S_OK;
                long seen = 0;
                {
                    Answer answer;
                    rt::fail_allocation_after(n);
                    hr = op.call(scene, answer);
                    seen = rt::allocations_seen();
                    rt::fail_allocation_after(0);
                    SetErrorInfo(0, nullptr);

                    if (seen < n) {
                        // The refusal never came: the call must have done its work.
                        ASSERT_TRUE(SUCCEEDED(hr)) << std::hex << "status 0x" << hr;
                        // Checks the answer; one that writes FamilyTotal puts
                        // the marker back once it has read it.
                        if (op.check_success) op.check_success(scene, answer);
                        EXPECT_EQ(answer.family_total, kUntouched) << "FamilyTotal written unasked";
                        break;
                    }
                    ++points;
                    EXPECT_FALSE(SUCCEEDED(hr)) << "a refused allocation ended in success";
                    expect_refusal(op, hr, answer);
                    expect_empty_result(op, answer);
                }  // the answer (an error description included) is released here
                EXPECT_EQ(state_of(scene), before) << "a failed call changed what it touched";
            }
            if (!op.changes_scene) {
                EXPECT_EQ(state_of(scene), start) << "a successful call changed the scene";
            }
        }
        EXPECT_TRUE(row_leaks.clean()) << "the row leaked";
        EXPECT_GE(points, op.fewest_points) << "fewer allocation points than the operation makes";
        std::cout << "[ sweep    ] " << op.name << ": " << points << " failure points\n";
        total += points;
    }
    std::cout << "[ sweep    ] " << table.size() << " operations, " << total
              << " failure points exercised in total\n";
    RecordProperty("operations", static_cast<int>(table.size()));
    RecordProperty("failure_points", static_cast<int>(total));
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
