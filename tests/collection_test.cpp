// The collection and its enumerator through their vtables: keys, positions,
// changes during enumeration, reference counts after the calls, and each
// allocation failing in turn.
#include "test_support.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

using Text = std::basic_string<OLECHAR>;
const HRESULT kMissingKey = rt::kCollInvalidArgument;

using testing_support::refcount;

VARIANT raw(VARTYPE vt, LONGLONG bits)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.llVal = bits;
    return v;
}
VARIANT real(double d)
{
    VARIANT v = raw(VT_R8, 0);
    v.dblVal = d;
    return v;
}
VARIANT ref(void* target, VARTYPE vt = VT_VARIANT)
{
    VARIANT v = raw(static_cast<VARTYPE>(VT_BYREF | vt), 0);
    v.byref = target;
    return v;
}

// An owned argument or result.
struct Value {
    VARIANT v;
    Value() { VariantInit(&v); }
    explicit Value(const VARIANT& adopted) : v(adopted) {}
    explicit Value(LONG n) : v(raw(VT_I4, n)) {}
    explicit Value(const OLECHAR* s) : v(raw(VT_BSTR, 0)) { v.bstrVal = SysAllocString(s); }
    Value(const Value&) = delete;
    ~Value() { VariantClear(&v); }
    VARIANT* p() { return &v; }
};

// An element object that shows its reference count.
struct Tracked : IUnknown {
    ULONG count = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override
    {
        return *ppv = nullptr, E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override { return --count; }
};

class CollectionTest : public testing_support::NewCollectionTest {
protected:
    HRESULT add(Value&& item, const OLECHAR* key = nullptr, VARIANT before = raw(VT_EMPTY, 0))
    {
        Value k(raw(key ? VT_BSTR : VT_EMPTY, 0));
        if (key) k.v.bstrVal = SysAllocString(key);
        return c->Add(&item.v, &k.v, &before, nullptr);
    }
    void add_all(std::initializer_list<const OLECHAR*> keyed)
    {
        for (const OLECHAR* s : keyed) ASSERT_EQ(add(Value(s), s), S_OK);
    }
    LONG count()
    {
        LONG n = -1;
        EXPECT_EQ(c->Count(&n), S_OK);
        return n;
    }
    // The text of what Item answers, or "" when it is no text.
    Text item(VARIANT index, HRESULT expected = S_OK)
    {
        Value out;
        EXPECT_EQ(c->Item(&index, &out.v), expected);
        return out.v.vt == VT_BSTR ? Text(out.v.bstrVal) : Text();
    }
    Text contents()
    {
        Text all;
        for (LONG i = 1; i <= count(); ++i)
            all += (i > 1 ? OLESTR(",") : OLESTR("")) + item(raw(VT_I4, i));
        return all;
    }
    rt::ComPtr<IEnumVARIANT> enumerator()
    {
        rt::ComPtr<IUnknown> unk;
        rt::ComPtr<IEnumVARIANT> e;
        EXPECT_EQ(c->_NewEnum(unk.put()), S_OK);
        EXPECT_EQ(unk->QueryInterface(IID_IEnumVARIANT, e.put_void()), S_OK);
        return e;
    }
};

TEST_F(CollectionTest, StartsEmptyAndAnswersItsThreeInterfaces)
{
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(refcount(c.get()), 1u);
    EXPECT_EQ(rt::live_objects(), guard().objects_at_start() + 1);
    const struct {
        const IID* iid;
        HRESULT hr;
    } cases[] = {{&IID_IUnknown, S_OK},
                 {&IID_IDispatch, S_OK},
                 {&IID__Collection, S_OK},
                 {&IID_IEnumVARIANT, E_NOINTERFACE},
                 {&IID_IClassFactory, E_NOINTERFACE}};
    for (const auto& k : cases) {
        void* out = &out;
        EXPECT_EQ(c->QueryInterface(*k.iid, &out), k.hr);
        EXPECT_EQ(out, k.hr == S_OK ? static_cast<void*>(c.get()) : nullptr);
        EXPECT_EQ(refcount(c.get()), k.hr == S_OK ? 2u : 1u);
        if (out) c->Release();
    }
    EXPECT_EQ(c->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(c->Count(nullptr), E_POINTER);
    EXPECT_EQ(rt::create_collection(nullptr), E_POINTER);
}

TEST_F(CollectionTest, KeysFoldOnlyTheDocumentedCapitals)
{
    const struct {
        const OLECHAR* stored;
        const OLECHAR* asked;
        bool same;
    } cases[] = {{OLESTR("{E2657B80-7f5b}"), OLESTR("{e2657b80-7F5B}"), true},
                 {OLESTR("\u00C4\u00DE"), OLESTR("\u00E4\u00FE"), true},
                 {OLESTR("\u00D7"), OLESTR("\u00F7"), false},
                 {OLESTR("\u0178"), OLESTR("\u00FF"), true},
                 {OLESTR("\u0132\u0136"), OLESTR("\u0133\u0137"), true},
                 {OLESTR("\u0139\u0147"), OLESTR("\u013A\u0148"), true},
                 {OLESTR("\u014A\u017D"), OLESTR("\u014B\u017E"), true},
                 {OLESTR("\u0130"), OLESTR("i"), false},
                 {OLESTR("\u0131"), OLESTR("I"), false},
                 {OLESTR("\u03A3\u03AB"), OLESTR("\u03C3\u03CB"), true},
                 {OLESTR("\u03A3"), OLESTR("\u03C2"), false},
                 {OLESTR("\u0401\u042F"), OLESTR("\u0451\u044F"), true},
                 {OLESTR("\u00DF"), OLESTR("SS"), false},
                 {OLESTR("\uFF21"), OLESTR("\uFF41"), false},
                 {OLESTR(""), OLESTR(""), true}};
    for (const auto& k : cases) {
        ASSERT_EQ(rt::create_collection(c.put()), S_OK);
        ASSERT_EQ(add(Value(OLESTR("first")), k.stored), S_OK);
        Value asked(k.asked);
        EXPECT_EQ(item(asked.v, k.same ? S_OK : kMissingKey),
                  k.same ? OLESTR("first") : OLESTR(""));
        // A duplicate changes nothing.
        EXPECT_EQ(add(Value(OLESTR("second")), k.asked), k.same ? rt::kCollDuplicateKey : S_OK);
        EXPECT_EQ(contents(), k.same ? OLESTR("first") : OLESTR("first,second"));
    }
}

TEST_F(CollectionTest, KeyArgumentForms)
{
    BSTR text = SysAllocString(OLESTR("ByRef"));
    Value five(OLESTR("5"));
    const struct {
        VARIANT key;
        HRESULT hr;
        const OLECHAR* lookup;
    } cases[] = {{raw(VT_I4, 5), S_OK, OLESTR("5")},
                 {real(2.5), S_OK, OLESTR("2.5")},
                 {ref(&text, VT_BSTR), S_OK, OLESTR("byref")},
                 {ref(&five.v), rt::kCollDuplicateKey, nullptr},
                 {raw(VT_NULL, 0), rt::kCollTypeMismatch, nullptr},
                 {raw(VT_DISPATCH, 0), rt::kCollTypeMismatch, nullptr},
                 {raw(VT_ERROR, E_FAIL), rt::kCollTypeMismatch, nullptr},
                 {raw(VT_EMPTY, 0), S_OK, nullptr},
                 {rt::missing_argument(), S_OK, nullptr}};
    for (auto k : cases) {
        const LONG before = count();
        Value it(OLESTR("it"));
        EXPECT_EQ(c->Add(&it.v, &k.key, nullptr, nullptr), k.hr);
        EXPECT_EQ(count(), before + (k.hr == S_OK ? 1 : 0));
        if (k.lookup) {
            EXPECT_EQ(item(Value(k.lookup).v), OLESTR("it")) << k.lookup;
        }
    }
    SysFreeString(text);
}

TEST_F(CollectionTest, StoresByReferenceItemsByValue)
{
    LONG n = 7;
    Value out;
    ASSERT_EQ(c->Add(Value(ref(&n, VT_I4)).p(), nullptr, nullptr, nullptr), S_OK);
    n = 8;
    VARIANT first = raw(VT_I4, 1);
    ASSERT_EQ(c->Item(&first, &out.v), S_OK);
    EXPECT_EQ(out.v.vt, VT_I4);
    EXPECT_EQ(out.v.lVal, 7);
}

TEST_F(CollectionTest, IndexSelectsByKeyOrRoundedPosition)
{
    add_all({OLESTR("a"), OLESTR("b"), OLESTR("c"), OLESTR("d")});
    LONG two = 2;
    Value three(LONG{3}), key(OLESTR("C")), number_text(OLESTR("2"));
    VARIANT dec = raw(VT_EMPTY, 0);
    dec.decVal.scale = 1, dec.decVal.Lo64 = 25, dec.vt = VT_DECIMAL;  // 2.5
    const struct {
        VARIANT index;
        HRESULT hr;
        const OLECHAR* text;
    } cases[] = {{raw(VT_I2, 2), S_OK, OLESTR("b")},
                 {raw(VT_UI1, 4), S_OK, OLESTR("d")},
                 {raw(VT_I8, 1), S_OK, OLESTR("a")},
                 {real(1.5), S_OK, OLESTR("b")},
                 {real(2.5), S_OK, OLESTR("b")},
                 {real(2.5000001), S_OK, OLESTR("c")},
                 {raw(VT_CY, 35000), S_OK, OLESTR("d")},
                 {raw(VT_CY, 25000), S_OK, OLESTR("b")},
                 {dec, S_OK, OLESTR("b")},
                 {ref(&three.v), S_OK, OLESTR("c")},
                 {ref(&two, VT_I4), S_OK, OLESTR("b")},
                 {key.v, S_OK, OLESTR("c")},
                 {number_text.v, kMissingKey, OLESTR("")},
                 {real(0.5), rt::kCollOutOfRange, OLESTR("")},
                 {raw(VT_I4, 0), rt::kCollOutOfRange, OLESTR("")},
                 {raw(VT_I4, 5), rt::kCollOutOfRange, OLESTR("")},
                 {raw(VT_I4, -1), rt::kCollOutOfRange, OLESTR("")},
                 {real(1e300), rt::kCollOutOfRange, OLESTR("")},
                 {raw(VT_BOOL, -1), rt::kCollOutOfRange, OLESTR("")},
                 {raw(VT_NULL, 0), rt::kCollTypeMismatch, OLESTR("")},
                 {raw(VT_EMPTY, 0), rt::kCollTypeMismatch, OLESTR("")},
                 {raw(VT_UNKNOWN, 0), rt::kCollTypeMismatch, OLESTR("")},
                 {rt::missing_argument(), rt::kCollTypeMismatch, OLESTR("")}};
    for (const auto& k : cases) EXPECT_EQ(item(k.index, k.hr), k.text) << &k - cases;
    Value stale(LONG{42});
    EXPECT_EQ(c->Item(nullptr, &stale.v), E_POINTER);
    EXPECT_EQ(stale.v.vt, VT_EMPTY);
    EXPECT_EQ(c->Item(&three.v, nullptr), E_POINTER);
    EXPECT_EQ(refcount(c.get()), 1u);
}

TEST_F(CollectionTest, BeforeAndAfterPlaceTheNewElement)
{
    const VARIANT none = raw(VT_EMPTY, 0);
    Value b(OLESTR("B")), cc(OLESTR("c")), zz(OLESTR("zz"));
    const struct {
        VARIANT before, after;
        HRESULT hr;
        const OLECHAR* order;
    } cases[] = {{raw(VT_I4, 1), none, S_OK, OLESTR("x,a,b,c")},
                 {raw(VT_I4, 3), none, S_OK, OLESTR("a,b,x,c")},
                 {none, raw(VT_I4, 3), S_OK, OLESTR("a,b,c,x")},
                 {rt::missing_argument(), raw(VT_I4, 1), S_OK, OLESTR("a,x,b,c")},
                 {b.v, rt::missing_argument(), S_OK, OLESTR("a,x,b,c")},
                 {none, cc.v, S_OK, OLESTR("a,b,c,x")},
                 {real(1.6), none, S_OK, OLESTR("a,x,b,c")},
                 {raw(VT_I4, 0), none, rt::kCollOutOfRange, OLESTR("a,b,c")},
                 {raw(VT_I4, 4), none, rt::kCollOutOfRange, OLESTR("a,b,c")},
                 {none, raw(VT_I4, 4), rt::kCollOutOfRange, OLESTR("a,b,c")},
                 {zz.v, none, kMissingKey, OLESTR("a,b,c")},
                 {raw(VT_I4, 1), raw(VT_I4, 1), rt::kCollInvalidArgument, OLESTR("a,b,c")},
                 {raw(VT_NULL, 0), none, rt::kCollTypeMismatch, OLESTR("a,b,c")}};
    for (auto k : cases) {
        ASSERT_EQ(rt::create_collection(c.put()), S_OK);
        add_all({OLESTR("a"), OLESTR("b"), OLESTR("c")});
        EXPECT_EQ(c->Add(Value(OLESTR("x")).p(), nullptr, &k.before, &k.after), k.hr) << &k - cases;
        EXPECT_EQ(contents(), k.order) << &k - cases;
    }
}

TEST_F(CollectionTest, RemoveByKeyOrPositionFreesTheKey)
{
    add_all({OLESTR("a"), OLESTR("b"), OLESTR("c"), OLESTR("d")});
    Value b_upper(OLESTR("B")), b(OLESTR("b"));
    const struct {
        VARIANT index;
        HRESULT hr;
        const OLECHAR* left;
    } steps[] = {{b_upper.v, S_OK, OLESTR("a,c,d")},
                 {b.v, kMissingKey, OLESTR("a,c,d")},
                 {raw(VT_I4, 3), S_OK, OLESTR("a,c")},
                 {raw(VT_I4, 3), rt::kCollOutOfRange, OLESTR("a,c")},
                 {raw(VT_NULL, 0), rt::kCollTypeMismatch, OLESTR("a,c")},
                 {real(0.7), S_OK, OLESTR("c")}};
    for (auto k : steps) {
        EXPECT_EQ(c->Remove(&k.index), k.hr) << &k - steps;
        EXPECT_EQ(contents(), k.left) << &k - steps;
    }
    EXPECT_EQ(add(Value(OLESTR("b again")), OLESTR("b")), S_OK);
    EXPECT_EQ(c->Remove(nullptr), E_POINTER);
}

TEST_F(CollectionTest, HoldsAReferenceOnObjectElements)
{
    Tracked obj;
    VARIANT item = raw(VT_UNKNOWN, 0), first = raw(VT_I4, 1);
    item.punkVal = &obj;
    ASSERT_EQ(c->Add(&item, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(obj.count, 2u);
    {
        Value out;
        ASSERT_EQ(c->Item(&first, &out.v), S_OK);
        EXPECT_EQ(obj.count, 3u);
    }
    ASSERT_EQ(c->Remove(&first), S_OK);
    EXPECT_EQ(obj.count, 1u);
    ASSERT_EQ(c->Add(&item, nullptr, nullptr, nullptr), S_OK);
    c.reset();
    EXPECT_EQ(obj.count, 1u);
}

TEST_F(CollectionTest, KeyLookupStaysHashedAtAHundredThousand)
{
    for (LONG i = 1; i <= 100000; ++i) {
        VARIANT it = raw(VT_I4, i);
        ASSERT_EQ(c->Add(&it, &it, nullptr, nullptr), S_OK);
    }
    Value out;
    VARIANT last = raw(VT_I4, 99999);
    ASSERT_EQ(c->Item(Value(OLESTR("100000")).p(), &out.v), S_OK);
    EXPECT_EQ(out.v.lVal, 100000);
    ASSERT_EQ(c->Remove(&last), S_OK);
    EXPECT_EQ(count(), 99999);
}

TEST_F(CollectionTest, EnumeratorWalksInOrderAndHoldsItsCollection)
{
    for (LONG i = 1; i <= 3; ++i) ASSERT_EQ(add(Value(i)), S_OK);
    rt::ComPtr<IEnumVARIANT> e = enumerator();
    EXPECT_EQ(refcount(e.get()), 1u);
    EXPECT_EQ(refcount(c.get()), 2u);
    EXPECT_EQ(rt::live_objects(), guard().objects_at_start() + 2);
    void* none = &none;
    EXPECT_EQ(e->QueryInterface(IID_IDispatch, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    VARIANT got[4];
    ULONG fetched = 99;
    EXPECT_EQ(e->Next(2, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(got[0].lVal * 10 + got[1].lVal, 12);
    EXPECT_EQ(e->Next(4, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(got[0].lVal, 3);
    EXPECT_EQ(e->Next(1, got, nullptr), S_FALSE);
    EXPECT_EQ(e->Next(2, got, nullptr), E_INVALIDARG);
    EXPECT_EQ(e->Next(0, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Skip(2), S_OK);
    rt::ComPtr<IEnumVARIANT> clone;
    ASSERT_EQ(e->Clone(clone.put()), S_OK);
    EXPECT_EQ(refcount(c.get()), 3u);
    EXPECT_EQ(e->Skip(2), S_FALSE);
    c.reset();  // the enumerators keep the collection alive
    EXPECT_EQ(clone->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0].lVal, 3);
    EXPECT_EQ(e->Clone(nullptr), E_POINTER);
}

// A long pseudo-random run of adds, removes and steps of three enumerators,
// checked against a model: nothing comes twice, nothing comes after it was
// removed, and every element that stays from an enumerator's start comes.
TEST_F(CollectionTest, EnumeratorsSurviveAddsAndRemovesAnywhere)
{
    std::vector<LONG> model;
    LONG next_id = 1;
    for (; next_id <= 20; ++next_id) {
        ASSERT_EQ(add(Value(next_id)), S_OK);
        model.push_back(next_id);
    }
    struct Walk {
        rt::ComPtr<IEnumVARIANT> e;
        std::set<LONG> start, seen;
    } walks[3];
    for (Walk& w : walks) w.e = enumerator(), w.start.insert(model.begin(), model.end());
    uint32_t seed = 12345;
    auto pick = [&](std::size_t n) {
        return ((seed = seed * 1103515245u + 12345u) >> 8 & 0xFFFFFFu) % n;
    };
    auto step = [&](Walk& w) {
        VARIANT v;
        ULONG got = 0;
        if (w.e->Next(1, &v, &got) == S_FALSE) return false;
        EXPECT_NE(std::find(model.begin(), model.end(), v.lVal), model.end()) << v.lVal;
        EXPECT_TRUE(w.seen.insert(v.lVal).second) << v.lVal;
        return true;
    };
    for (int i = 0; i < 3000; ++i) {
        const std::size_t at = pick(model.size() + 1);
        switch (pick(3)) {
        case 0: {
            VARIANT before = raw(VT_I4, static_cast<LONG>(at + 1));
            ASSERT_EQ(add(Value(next_id), nullptr, at < model.size() ? before : raw(VT_EMPTY, 0)),
                      S_OK);
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), next_id++);
            break;
        }
        case 1:
            if (at == model.size()) break;
            ASSERT_EQ(c->Remove(Value(static_cast<LONG>(at + 1)).p()), S_OK);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
            break;
        default: step(walks[pick(3)]);
        }
    }
    for (Walk& w : walks) {
        while (step(w)) {}
        for (LONG id : model) EXPECT_TRUE(!w.start.count(id) || w.seen.count(id)) << id;
    }
}

// Each allocation of an operation fails in turn; the collection must come
// through unchanged and nothing may leak.
TEST_F(CollectionTest, AddSurvivesEveryAllocationFailure)
{
    const OLECHAR* guid = OLESTR("{C834B0FC-F7CF-4760-9BC0-86CC9303D79E}");
    const struct {
        LONG existing;
        bool numeric_key;
    } shapes[] = {{0, false}, {8, false}, {8, true}, {16, true}};
    for (const auto& s : shapes) {
        ASSERT_EQ(rt::create_collection(c.put()), S_OK);
        for (LONG i = 0; i < s.existing; ++i) ASSERT_EQ(add(Value(OLESTR("x")), nullptr), S_OK);
        const Text before = contents();
        Value element(guid), key(guid), number(LONG{123456789});
        long failures = 0;
        for (long n = 1;; ++n) {
            rt::fail_allocation_after(n);
            const HRESULT hr =
                c->Add(&element.v, s.numeric_key ? &number.v : &key.v, nullptr, nullptr);
            rt::fail_allocation_after(0);
            if (hr == S_OK) break;
            ASSERT_EQ(hr, E_OUTOFMEMORY) << n;
            EXPECT_EQ(contents(), before) << n;
            ++failures;
        }
        // The element's chunk, the growth of the order and of the key index,
        // and for a number key its text. Capacity a failed attempt obtained is
        // kept, so later attempts need fewer allocations.
        EXPECT_GE(failures, 3) << s.existing;
        EXPECT_EQ(item(s.numeric_key ? Value(OLESTR("123456789")).v : key.v), guid);
    }
}

TEST_F(CollectionTest, OtherOperationsSurviveAllocationFailure)
{
    const OLECHAR* guid = OLESTR("{E2657B7F-7F5B-11d2-BF88-00C04F79999C}");
    add_all({guid, OLESTR("b")});
    Value index(guid), out(LONG{5});  // stale content is overwritten, not freed
    for (long n : {1, 2}) {           // the folded key, then the copy of the value
        rt::fail_allocation_after(n);
        EXPECT_EQ(c->Item(&index.v, &out.v), E_OUTOFMEMORY);
        EXPECT_EQ(out.v.vt, VT_EMPTY);
    }
    rt::fail_allocation_after(1);
    EXPECT_EQ(c->Remove(&index.v), E_OUTOFMEMORY);
    EXPECT_EQ(count(), 2);

    IUnknown* unk = c.get();
    rt::fail_allocation_after(1);
    EXPECT_EQ(c->_NewEnum(&unk), E_OUTOFMEMORY);
    EXPECT_EQ(unk, nullptr);
    rt::ComPtr<IEnumVARIANT> e = enumerator(), clone;
    VARIANT got[2];
    ULONG fetched = 99;
    rt::fail_allocation_after(2);  // the second string copy
    EXPECT_EQ(e->Next(2, got, &fetched), E_OUTOFMEMORY);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(got[0].vt, VT_EMPTY);
    rt::fail_allocation_after(1);
    EXPECT_EQ(e->Clone(clone.put()), E_OUTOFMEMORY);
    EXPECT_EQ(e->Next(2, got, &fetched), S_OK);  // from where it was
    EXPECT_EQ(Text(got[0].bstrVal) + got[1].bstrVal, Text(guid) + OLESTR("b"));
    VariantClear(&got[0]), VariantClear(&got[1]);
    e.reset();
    EXPECT_EQ(refcount(c.get()), 1u);

    _Collection* fresh = c.get();
    rt::fail_allocation_after(1);
    EXPECT_EQ(rt::create_collection(&fresh), E_OUTOFMEMORY);
    EXPECT_EQ(fresh, nullptr);
}

}  // namespace
