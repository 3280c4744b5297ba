// The collection through its vtable: storage, keys, positions, enumeration,
// reference counts after every call, and every allocation failing in turn.
#include "runtime/collection.h"
#include "runtime/com_ptr.h"
#include "runtime/fault_injection.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using Text = std::basic_string<OLECHAR>;
const HRESULT kMissingKey = rt::kCollInvalidArgument;

ULONG refs(IUnknown* p)
{
    p->AddRef();
    return p->Release();
}

// One owned argument or result.
struct Value {
    VARIANT v;
    Value() { VariantInit(&v); }
    explicit Value(const OLECHAR* s) : Value() { v.vt = VT_BSTR, v.bstrVal = SysAllocString(s); }
    explicit Value(LONG n) : Value() { v.vt = VT_I4, v.lVal = n; }
    Value(VARTYPE vt, LONGLONG bits) : Value() { v.vt = vt, v.llVal = bits; }
    static Value real(double d) { return Value(VT_R8, d); }
    static Value ref(VARIANT* target) { return Value(VT_BYREF | VT_VARIANT, target); }
    static Value missing() { return Value(rt::missing_argument()); }
    Value(const Value&) = delete;
    ~Value() { VariantClear(&v); }
    VARIANT* operator&() { return &v; }

private:
    Value(VARTYPE vt, double d) : Value() { v.vt = vt, v.dblVal = d; }
    Value(VARTYPE vt, VARIANT* target) : Value() { v.vt = vt, v.pvarVal = target; }
    explicit Value(const VARIANT& raw) : v(raw) {}
};

// A stand-in element object that shows its reference count.
struct Tracked : IUnknown {
    ULONG count = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override { return *ppv = nullptr, E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override { return --count; }
};

class CollectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        rt::fail_allocation_after(0);
        objects_ = rt::live_objects();
        strings_ = rt::live_strings();
        ASSERT_EQ(rt::create_collection(c.put()), S_OK);
    }
    void TearDown() override
    {
        if (c) EXPECT_EQ(c->Release(), 0u);
        c.detach();
        rt::fail_allocation_after(0);
        EXPECT_EQ(rt::live_objects(), objects_);
        EXPECT_EQ(rt::live_strings(), strings_);
    }

    HRESULT add(const OLECHAR* item, const OLECHAR* key = nullptr)
    {
        Value i(item), k(key);
        if (!key) k.v.vt = VT_EMPTY;
        return c->Add(&i, &k, nullptr, nullptr);
    }
    LONG count()
    {
        LONG n = -1;
        EXPECT_EQ(c->Count(&n), S_OK);
        return n;
    }
    // Every element's text, comma-separated, read by position.
    Text contents()
    {
        Text all;
        for (LONG i = 1; i <= count(); ++i) {
            Value index(i), out;
            EXPECT_EQ(c->Item(&index, &out), S_OK);
            if (i > 1) all += OLESTR(",");
            if (out.v.vt == VT_BSTR) all += out.v.bstrVal;
        }
        return all;
    }
    HRESULT item_text(VARIANT* index, Text* text)
    {
        Value out;
        const HRESULT hr = c->Item(index, &out);
        if (out.v.vt == VT_BSTR) *text = out.v.bstrVal;
        return hr;
    }

    rt::ComPtr<_Collection> c;
    long objects_ = 0, strings_ = 0;
};

TEST_F(CollectionTest, StartsEmptyWithOneReference)
{
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(refs(c.get()), 1u);
    EXPECT_EQ(rt::live_objects(), objects_ + 1);
    EXPECT_EQ(rt::create_collection(nullptr), E_POINTER);
}

TEST_F(CollectionTest, AnswersItsThreeInterfacesOnly)
{
    const struct { const IID* iid; HRESULT hr; } cases[] = {
        {&IID_IUnknown, S_OK}, {&IID_IDispatch, S_OK}, {&IID__Collection, S_OK},
        {&IID_IEnumVARIANT, E_NOINTERFACE}, {&IID_IClassFactory, E_NOINTERFACE}};
    for (const auto& k : cases) {
        void* out = &out;
        EXPECT_EQ(c->QueryInterface(*k.iid, &out), k.hr);
        EXPECT_EQ(out, k.hr == S_OK ? static_cast<void*>(c.get()) : nullptr);
        EXPECT_EQ(refs(c.get()), k.hr == S_OK ? 2u : 1u);
        if (out) c->Release();
    }
    EXPECT_EQ(c->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(c->Count(nullptr), E_POINTER);
}

TEST_F(CollectionTest, KeysFoldOnlyTheDocumentedCapitals)
{
    const struct { const OLECHAR* stored; const OLECHAR* asked; bool found; } cases[] = {
        {OLESTR("{E2657B80-7f5b}"), OLESTR("{e2657b80-7F5B}"), true},
        {u"\u00C4\u00DE", u"\u00E4\u00FE", true},  {u"\u00D7", u"\u00F7", false},
        {u"\u0178", u"\u00FF", true},              {u"\u0132\u0136", u"\u0133\u0137", true},
        {u"\u0139\u0147", u"\u013A\u0148", true},  {u"\u014A\u017D", u"\u014B\u017E", true},
        {u"\u0130", u"i", false},                  {u"\u0131", u"I", false},
        {u"\u03A3\u03AB", u"\u03C3\u03CB", true},  {u"\u03A3", u"\u03C2", false},
        {u"\u0401\u042F", u"\u0451\u044F", true},  {u"\u00DF", u"SS", false},
        {u"\uFF21", u"\uFF41", false},             {u"", u"", true}};
    LONG n = 0;
    for (const auto& k : cases) {
        ASSERT_EQ(add(k.asked, k.stored), S_OK) << ++n;
        Value asked(k.asked);
        Text got;
        EXPECT_EQ(item_text(&asked, &got), k.found ? S_OK : kMissingKey) << n;
        EXPECT_EQ(add(OLESTR("again"), k.asked), k.found ? rt::kCollDuplicateKey : S_OK) << n;
        Value first(1);
        c->Remove(&first);  // whatever is left goes, so cases never meet
        if (count() != 0) c->Remove(&first);
        ASSERT_EQ(count(), 0);
    }
}

TEST_F(CollectionTest, DuplicateKeyChangesNothing)
{
    ASSERT_EQ(add(OLESTR("one"), OLESTR("K")), S_OK);
    EXPECT_EQ(add(OLESTR("two"), OLESTR("k")), rt::kCollDuplicateKey);
    EXPECT_EQ(contents(), OLESTR("one"));
    EXPECT_EQ(refs(c.get()), 1u);
}

TEST_F(CollectionTest, KeyArgumentForms)
{
    Value text(OLESTR("t")), inner(OLESTR("5"));
    BSTR shared = SysAllocString(OLESTR("byref"));
    Value bstr_ref(VT_BYREF | VT_BSTR, 0);
    bstr_ref.v.pbstrVal = &shared;
    const struct { Value key; HRESULT hr; const OLECHAR* lookup; } cases[] = {
        {Value(OLESTR("plain")), S_OK, OLESTR("PLAIN")},
        {Value(LONG{5}), S_OK, OLESTR("5")},
        {Value::real(2.5), S_OK, OLESTR("2.5")},
        {Value::ref(&inner.v), rt::kCollDuplicateKey, nullptr},  // "5" was taken by the number
        {Value(VT_NULL, 0), rt::kCollTypeMismatch, nullptr},
        {Value(VT_DISPATCH, 0), rt::kCollTypeMismatch, nullptr},
        {Value(VT_ERROR, E_FAIL), rt::kCollTypeMismatch, nullptr},
        {Value(VT_EMPTY, 0), S_OK, nullptr},   // missing: no key
        {Value::missing(), S_OK, nullptr},
    };
    for (const auto& k : cases) {
        const LONG before = count();
        EXPECT_EQ(c->Add(&text, const_cast<VARIANT*>(&k.key.v), nullptr, nullptr), k.hr);
        EXPECT_EQ(count(), before + (k.hr == S_OK ? 1 : 0));
        if (k.lookup) {
            Value asked(k.lookup);
            Text got;
            EXPECT_EQ(item_text(&asked, &got), S_OK) << k.lookup;
        }
    }
    EXPECT_EQ(c->Add(&text, &bstr_ref, nullptr, nullptr), S_OK);
    Value asked(OLESTR("BYREF"));
    Text got;
    EXPECT_EQ(item_text(&asked, &got), S_OK);
    SysFreeString(shared);
}

TEST_F(CollectionTest, StoresByReferenceItemsByValue)
{
    LONG n = 7;
    Value by_ref(VT_BYREF | VT_I4, 0), out, first(1);
    by_ref.v.plVal = &n;
    ASSERT_EQ(c->Add(&by_ref, nullptr, nullptr, nullptr), S_OK);
    n = 8;
    ASSERT_EQ(c->Item(&first, &out), S_OK);
    EXPECT_EQ(out.v.vt, VT_I4);
    EXPECT_EQ(out.v.lVal, 7);
}

TEST_F(CollectionTest, IndexSelectsByKeyOrRoundedPosition)
{
    for (const OLECHAR* s : {OLESTR("a"), OLESTR("b"), OLESTR("c"), OLESTR("d")}) ASSERT_EQ(add(s, s), S_OK);
    LONG two = 2;
    Value two_ref(VT_BYREF | VT_I4, 0), i4(LONG{3});
    two_ref.v.plVal = &two;
    DECIMAL d25{};  // 2.5
    d25.scale = 1, d25.Lo64 = 25;
    Value dec;
    dec.v.decVal = d25, dec.v.vt = VT_DECIMAL;
    const struct { Value index; HRESULT hr; const OLECHAR* text; } cases[] = {
        {Value(VT_I2, 2), S_OK, OLESTR("b")},         {Value(VT_UI1, 4), S_OK, OLESTR("d")},
        {Value(VT_I8, 1), S_OK, OLESTR("a")},         {Value::real(1.5), S_OK, OLESTR("b")},
        {Value::real(2.5), S_OK, OLESTR("b")},        {Value::real(2.5000001), S_OK, OLESTR("c")},
        {Value(VT_CY, 35000), S_OK, OLESTR("d")},     {Value(VT_CY, 25000), S_OK, OLESTR("b")},
        {Value::ref(&i4.v), S_OK, OLESTR("c")},       {Value(OLESTR("C")), S_OK, OLESTR("c")},
        {Value(OLESTR("2")), kMissingKey, nullptr},   {Value::real(0.5), rt::kCollOutOfRange, nullptr},
        {Value(LONG{0}), rt::kCollOutOfRange, nullptr}, {Value(LONG{5}), rt::kCollOutOfRange, nullptr},
        {Value(LONG{-1}), rt::kCollOutOfRange, nullptr}, {Value::real(1e300), rt::kCollOutOfRange, nullptr},
        {Value(VT_BOOL, -1), rt::kCollOutOfRange, nullptr}, {Value(VT_NULL, 0), rt::kCollTypeMismatch, nullptr},
        {Value(VT_EMPTY, 0), rt::kCollTypeMismatch, nullptr}, {Value::missing(), rt::kCollTypeMismatch, nullptr},
        {Value(VT_UNKNOWN, 0), rt::kCollTypeMismatch, nullptr},
    };
    for (const auto& k : cases) {
        Text got;
        EXPECT_EQ(item_text(const_cast<VARIANT*>(&k.index.v), &got), k.hr) << &k - cases;
        EXPECT_EQ(got, k.text ? k.text : OLESTR("")) << &k - cases;
    }
    Text got;
    EXPECT_EQ(item_text(&two_ref, &got), S_OK);
    EXPECT_EQ(got, OLESTR("b"));
    EXPECT_EQ(item_text(&dec, &got), S_OK);
    EXPECT_EQ(got, OLESTR("b"));
    Value stale(LONG{42});
    EXPECT_EQ(c->Item(nullptr, &stale), E_POINTER);
    EXPECT_EQ(stale.v.vt, VT_EMPTY);
    EXPECT_EQ(c->Item(&i4, nullptr), E_POINTER);
    EXPECT_EQ(refs(c.get()), 1u);
}

TEST_F(CollectionTest, BeforeAndAfterPlaceTheNewElement)
{
    const struct { Value before, after; HRESULT hr; const OLECHAR* order; } cases[] = {
        {Value(LONG{1}), Value(), S_OK, OLESTR("x,a,b,c")},
        {Value(LONG{3}), Value(), S_OK, OLESTR("a,b,x,c")},
        {Value(), Value(LONG{3}), S_OK, OLESTR("a,b,c,x")},
        {Value::missing(), Value(LONG{1}), S_OK, OLESTR("a,x,b,c")},
        {Value(OLESTR("B")), Value::missing(), S_OK, OLESTR("a,x,b,c")},
        {Value(), Value(OLESTR("c")), S_OK, OLESTR("a,b,c,x")},
        {Value::real(1.6), Value(), S_OK, OLESTR("a,x,b,c")},
        {Value(LONG{0}), Value(), rt::kCollOutOfRange, nullptr},
        {Value(LONG{4}), Value(), rt::kCollOutOfRange, nullptr},
        {Value(), Value(LONG{4}), rt::kCollOutOfRange, nullptr},
        {Value(OLESTR("zz")), Value(), kMissingKey, nullptr},
        {Value(LONG{1}), Value(LONG{1}), rt::kCollInvalidArgument, nullptr},
        {Value(VT_NULL, 0), Value(), rt::kCollTypeMismatch, nullptr},
    };
    for (const auto& k : cases) {
        for (const OLECHAR* s : {OLESTR("a"), OLESTR("b"), OLESTR("c")}) ASSERT_EQ(add(s, s), S_OK);
        Value x(OLESTR("x"));
        EXPECT_EQ(c->Add(&x, nullptr, const_cast<VARIANT*>(&k.before.v), const_cast<VARIANT*>(&k.after.v)),
                  k.hr) << &k - cases;
        EXPECT_EQ(contents(), k.order ? k.order : OLESTR("a,b,c")) << &k - cases;
        ASSERT_EQ(rt::create_collection(c.put()), S_OK);
    }
}

TEST_F(CollectionTest, RemoveByKeyOrPositionFreesTheKey)
{
    for (const OLECHAR* s : {OLESTR("a"), OLESTR("b"), OLESTR("c"), OLESTR("d")}) ASSERT_EQ(add(s, s), S_OK);
    const struct { Value index; HRESULT hr; const OLECHAR* left; } steps[] = {
        {Value(OLESTR("B")), S_OK, OLESTR("a,c,d")},    {Value(OLESTR("b")), kMissingKey, OLESTR("a,c,d")},
        {Value(LONG{3}), S_OK, OLESTR("a,c")},          {Value(LONG{3}), rt::kCollOutOfRange, OLESTR("a,c")},
        {Value(VT_NULL, 0), rt::kCollTypeMismatch, OLESTR("a,c")}, {Value::real(0.7), S_OK, OLESTR("c")},
    };
    for (const auto& k : steps) {
        EXPECT_EQ(c->Remove(const_cast<VARIANT*>(&k.index.v)), k.hr) << &k - steps;
        EXPECT_EQ(contents(), k.left) << &k - steps;
    }
    EXPECT_EQ(add(OLESTR("b2"), OLESTR("b")), S_OK);
    EXPECT_EQ(c->Remove(nullptr), E_POINTER);
}

TEST_F(CollectionTest, HoldsAReferenceOnObjectElements)
{
    Tracked obj;
    Value item(VT_UNKNOWN, 0), first(1), out;
    item.v.punkVal = &obj;
    ASSERT_EQ(c->Add(&item, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(obj.count, 2u);
    ASSERT_EQ(c->Item(&first, &out), S_OK);
    EXPECT_EQ(obj.count, 3u);
    VariantClear(&out);
    ASSERT_EQ(c->Remove(&first), S_OK);
    EXPECT_EQ(obj.count, 1u);
    ASSERT_EQ(c->Add(&item, nullptr, nullptr, nullptr), S_OK);
    c.reset();
    EXPECT_EQ(obj.count, 1u);
    item.v.vt = VT_EMPTY;  // not ours to release
}

TEST_F(CollectionTest, KeyLookupScalesToLargeCollections)
{
    for (LONG i = 1; i <= 100000; ++i) {
        Value item(i), key(i);
        ASSERT_EQ(c->Add(&item, &key, nullptr, nullptr), S_OK);
    }
    Value last(OLESTR("100000")), out;
    ASSERT_EQ(c->Item(&last, &out), S_OK);
    EXPECT_EQ(out.v.lVal, 100000);
}

// Each allocation of an operation fails in turn; the collection must come
// through unchanged and nothing may leak.
TEST_F(CollectionTest, AddSurvivesEveryAllocationFailure)
{
    const OLECHAR* long_key = OLESTR("{C834B0FC-F7CF-4760-9BC0-86CC9303D79E}");
    const struct { int existing; bool numeric_key; } shapes[] = {{0, false}, {8, false}, {8, true}, {16, true}};
    for (const auto& s : shapes) {
        ASSERT_EQ(rt::create_collection(c.put()), S_OK);
        for (LONG i = 0; i < s.existing; ++i) ASSERT_EQ(add(OLESTR("x")), S_OK);
        const Text before = contents();
        Value item(long_key), key(long_key), number(LONG{123456789});
        long failures = 0;
        for (long n = 1;; ++n) {
            rt::fail_allocation_after(n);
            const HRESULT hr = c->Add(&item, s.numeric_key ? &number : &key, nullptr, nullptr);
            rt::fail_allocation_after(0);
            if (hr == S_OK) break;
            ASSERT_EQ(hr, E_OUTOFMEMORY) << n;
            EXPECT_EQ(contents(), before) << n;
            ++failures;
        }
        EXPECT_GE(failures, 3) << s.existing;
        EXPECT_EQ(count(), s.existing + 1);
    }
}

TEST_F(CollectionTest, ReadsAndRemovesSurviveAllocationFailure)
{
    const OLECHAR* key = OLESTR("{E2657B7F-7F5B-11d2-BF88-00C04F79999C}");
    ASSERT_EQ(add(key, key), S_OK);
    Value index(key), out;
    out.v.vt = VT_I4;  // stale content is not freed
    for (long n : {1, 2}) {
        rt::fail_allocation_after(n);  // the folded key, then the copy
        EXPECT_EQ(c->Item(&index, &out), E_OUTOFMEMORY);
        EXPECT_EQ(out.v.vt, VT_EMPTY);
    }
    rt::fail_allocation_after(1);
    EXPECT_EQ(c->Remove(&index), E_OUTOFMEMORY);
    EXPECT_EQ(count(), 1);
    IUnknown* e = &out.v.lVal == nullptr ? nullptr : reinterpret_cast<IUnknown*>(&e);
    rt::fail_allocation_after(1);
    EXPECT_EQ(c->_NewEnum(&e), E_OUTOFMEMORY);
    EXPECT_EQ(e, nullptr);
    EXPECT_EQ(refs(c.get()), 1u);
    _Collection* none = c.get();
    rt::fail_allocation_after(1);
    EXPECT_EQ(rt::create_collection(&none), E_OUTOFMEMORY);
    EXPECT_EQ(none, nullptr);
}

}  // namespace
