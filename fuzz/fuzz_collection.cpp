// The collection driven by a byte-coded script of Add, Item, Remove, Count
// and enumeration, checked step by step against a plain model: a vector of
// values and a map from folded key to element. Keys come from a small
// alphabet mixing letter cases (Latin, Latin-1, Latin Extended-A, Greek,
// Cyrillic, and characters that have no case pair), so keys collide under
// case folding; positions, numbers and the variant forms (by value, by
// reference, missing) vary too. Every status must be the model's.
//
// The model folds keys as the collection documents it (collection_args.h):
// A-Z; U+00C0-U+00DE except U+00D7; U+0178 to U+00FF; the capital/small
// pairs of U+0100-U+017E; Greek U+0391-U+03AB except U+03A2; Cyrillic
// U+0400-U+042F; nothing else. It is written here from that description,
// not from the collection's code.
#include "fuzz_support.h"

#include "runtime/collection.h"
#include "runtime/com_ptr.h"
#include "runtime/variant.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using fuzzing::check;
using fuzzing::check_status;
using fuzzing::fail;

namespace {

constexpr HRESULT kMissingKey = static_cast<HRESULT>(0x800A0005);  // also: invalid argument
constexpr HRESULT kOutOfRange = static_cast<HRESULT>(0x800A0009);
constexpr HRESULT kDuplicateKey = static_cast<HRESULT>(0x800A01C9);
constexpr HRESULT kTypeMismatch = static_cast<HRESULT>(0x800A000D);

// ---- the model ----

char16_t fold(char16_t c)
{
    const unsigned u = c;
    if (u >= 'A' && u <= 'Z') return static_cast<char16_t>(u + 32);
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char16_t>(u + 32);
    if (u == 0x178) return 0xFF;
    // Latin Extended-A: capital then small, except where the pairs shift
    // (U+0130/0131 dotted and dotless i, U+0138 kra, U+0149 and U+017F).
    const bool even_capital =
        (u >= 0x100 && u <= 0x12F) || (u >= 0x132 && u <= 0x137) || (u >= 0x14A && u <= 0x177);
    const bool odd_capital = (u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E);
    if ((even_capital && u % 2 == 0) || (odd_capital && u % 2 == 1))
        return static_cast<char16_t>(u + 1);
    if (u >= 0x391 && u <= 0x3AB && u != 0x3A2) return static_cast<char16_t>(u + 32);
    if (u >= 0x400 && u <= 0x40F) return static_cast<char16_t>(u + 0x50);
    if (u >= 0x410 && u <= 0x42F) return static_cast<char16_t>(u + 32);
    return c;
}

std::u16string folded(const std::u16string& text)
{
    std::u16string out = text;
    for (char16_t& c : out) c = fold(c);
    return out;
}

// An element's value as the model keeps it: what Item must give back.
struct Value {
    VARTYPE vt = VT_EMPTY;  // VT_EMPTY, VT_I4 or VT_BSTR
    LONG number = 0;
    std::u16string text;
    bool operator==(const Value& o) const
    {
        return vt == o.vt && (vt != VT_I4 || number == o.number) &&
               (vt != VT_BSTR || text == o.text);
    }
};

std::string shown(const Value& v)
{
    if (v.vt == VT_I4) return std::to_string(v.number);
    if (v.vt == VT_BSTR) return "\"" + fuzzing::printable(v.text) + "\"";
    return "empty";
}

struct Element {
    Value value;
    std::optional<std::u16string> key;  // folded
};

struct Model {
    std::vector<Element> elements;
    std::optional<std::size_t> walker;  // the held enumerator's next position

    std::optional<std::size_t> position_of_key(const std::u16string& key) const
    {
        for (std::size_t i = 0; i < elements.size(); ++i)
            if (elements[i].key && *elements[i].key == key) return i;
        return std::nullopt;
    }
    void insert(std::size_t position, Element e)
    {
        elements.insert(elements.begin() + static_cast<std::ptrdiff_t>(position), std::move(e));
        if (walker && position < *walker) ++*walker;
    }
    void remove(std::size_t position)
    {
        elements.erase(elements.begin() + static_cast<std::ptrdiff_t>(position));
        if (walker && position < *walker) --*walker;
    }
};

// ---- arguments ----

// Key and value text: short strings over a small alphabet, now and then
// longer ones (past the small-string space of a key).
const char16_t kAlphabet[32] = {
    u'a',   u'A',   u'b',   u'B',
    u'5',   u'-',   0x00C4, 0x00E4,  // a A b B 5 - Ä ä
    0x03A3, 0x03C3, 0x03C2, 0x0178,
    0x00FF, 0x0130, u'i',   u'I',  // Σ σ ς Ÿ ÿ İ i I
    0x0139, 0x013A, 0x0416, 0x0436,
    0x0400, 0x0450, 0x00D7, 0x00F7,  // Ĺ ĺ Ж ж Ѐ ѐ × ÷
    0x0000, 0x00DF, 0x0132, 0x0133,
    0x017D, 0x017E, 0x0149, 0xD800,  // NUL ß Ĳ ĳ Ž ž ŉ lone surrogate
};

std::u16string some_text(fuzzing::Reader& in)
{
    const uint8_t shape = in.byte();
    std::size_t length = shape % 4;
    if (shape & 0x80) length += 8 + (shape >> 2) % 16;
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i) text.push_back(kAlphabet[in.below(32)]);
    return text;
}

// Small numbers, so that keys 5 and "5" meet and positions hit the elements.
LONG some_number(fuzzing::Reader& in)
{
    const uint8_t b = in.byte();
    if (b < 0xF0) return static_cast<LONG>(b % 16) - 2;
    return static_cast<LONG>(in.word());
}

// An argument variant and everything it points at, owned here. The
// collection never keeps or frees what the caller passes.
class Argument {
public:
    Argument() { VariantInit(&v_); }
    Argument(const Argument&) = delete;
    Argument& operator=(const Argument&) = delete;
    ~Argument()
    {
        for (BSTR s : strings_) SysFreeString(s);
    }

    VARIANT* get() { return null_ ? nullptr : &v_; }
    void make_null() { null_ = true; }
    VARIANT& top() { return v_; }

    BSTR keep(const std::u16string& text)
    {
        BSTR s = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                   static_cast<UINT>(text.size()));
        check(s != nullptr, "could not allocate an argument");
        strings_.push_back(s);
        return s;
    }
    VARIANT* inner()
    {
        inners_.push_back(std::make_unique<VARIANT>());
        VariantInit(inners_.back().get());
        return inners_.back().get();
    }
    BSTR* bstr_cell(BSTR s)
    {
        bstr_cells_.push_back(std::make_unique<BSTR>(s));
        return bstr_cells_.back().get();
    }
    LONG* long_cell(LONG n)
    {
        long_cells_.push_back(std::make_unique<LONG>(n));
        return long_cells_.back().get();
    }
    SCODE* scode_cell(SCODE n)
    {
        scode_cells_.push_back(std::make_unique<SCODE>(n));
        return scode_cells_.back().get();
    }

private:
    VARIANT v_;
    bool null_ = false;
    std::vector<BSTR> strings_;
    std::vector<std::unique_ptr<VARIANT>> inners_;
    std::vector<std::unique_ptr<BSTR>> bstr_cells_;
    std::vector<std::unique_ptr<LONG>> long_cells_;
    std::vector<std::unique_ptr<SCODE>> scode_cells_;
};

// What an argument stands for once references are followed.
struct Meaning {
    enum Kind { kMissing, kText, kNumber, kReal, kEmpty, kOther } kind;
    std::u16string text;
    LONG number = 0;
    double real = 0;
};

void set_text(Argument& a, VARIANT& v, const std::u16string& text)
{
    v.vt = VT_BSTR;
    v.bstrVal = a.keep(text);
}

void set_number(VARIANT& v, LONG n)
{
    v.vt = VT_I4;
    v.lVal = n;
}

// A text or a number, by value or by reference (directly or through a
// variant).
Meaning text_or_number(fuzzing::Reader& in, Argument& a, VARIANT& v, bool text)
{
    Meaning m{text ? Meaning::kText : Meaning::kNumber, {}, 0, 0};
    if (text)
        m.text = some_text(in);
    else
        m.number = some_number(in);
    switch (in.below(3)) {
    case 0:
        if (text && m.text.empty() && (in.byte() & 1)) {
            v.vt = VT_BSTR;  // the null string, which is the empty string
            v.bstrVal = nullptr;
        } else if (text) {
            set_text(a, v, m.text);
        } else {
            set_number(v, m.number);
        }
        break;
    case 1:
        if (text) {
            v.vt = VT_BYREF | VT_BSTR;
            v.pbstrVal = a.bstr_cell(a.keep(m.text));
        } else {
            v.vt = VT_BYREF | VT_I4;
            v.plVal = a.long_cell(m.number);
        }
        break;
    default: {
        VARIANT* inner = a.inner();
        if (text)
            set_text(a, *inner, m.text);
        else
            set_number(*inner, m.number);
        v.vt = VT_BYREF | VT_VARIANT;
        v.pvarVal = inner;
        break;
    }
    }
    return m;
}

// An argument in any of the forms the collection reads: missing (null,
// empty, the omitted-argument error, each also by reference), text, number,
// a real (for positions), or a value it cannot use (null, another error).
Meaning some_argument(fuzzing::Reader& in, Argument& a, bool allow_real)
{
    VARIANT& v = a.top();
    switch (in.below(12)) {
    case 0: a.make_null(); return {Meaning::kMissing, {}, 0, 0};
    case 1: return {Meaning::kEmpty, {}, 0, 0};  // VT_EMPTY
    case 2: v = rt::missing_argument(); return {Meaning::kMissing, {}, 0, 0};
    case 3: {
        VARIANT* inner = a.inner();
        const bool empty = in.byte() & 1;
        if (!empty) *inner = rt::missing_argument();
        v.vt = VT_BYREF | VT_VARIANT;
        v.pvarVal = inner;
        return {empty ? Meaning::kEmpty : Meaning::kMissing, {}, 0, 0};
    }
    case 4:
        v.vt = VT_BYREF | VT_ERROR;
        v.pscode = a.scode_cell(DISP_E_PARAMNOTFOUND);
        return {Meaning::kMissing, {}, 0, 0};
    case 5: v.vt = VT_NULL; return {Meaning::kOther, {}, 0, 0};
    case 6:
        v.vt = VT_ERROR;
        v.scode = E_FAIL;
        return {Meaning::kOther, {}, 0, 0};
    case 7:
        if (allow_real) {
            v.vt = VT_R8;
            v.dblVal = static_cast<double>(in.below(20)) / 2.0 - 1.0;  // -1 .. 8.5 by halves
            return {Meaning::kReal, {}, 0, v.dblVal};
        }
        [[fallthrough]];
    case 8:
    case 9: return text_or_number(in, a, v, true);
    default: return text_or_number(in, a, v, false);
    }
}

// Decimal text of a number, as a numeric key reads.
std::u16string decimal(LONG n)
{
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

// ---- what the collection must answer, by the model ----

struct Expectation {
    HRESULT status = S_OK;
    std::size_t position = 0;  // the element selected, or where an Add inserts
};

// What an Index (or Before/After) selects.
Expectation select(const Model& m, const Meaning& index)
{
    switch (index.kind) {
    case Meaning::kText: {
        const auto position = m.position_of_key(folded(index.text));
        return position ? Expectation{S_OK, *position} : Expectation{kMissingKey, 0};
    }
    case Meaning::kNumber:
    case Meaning::kReal: {
        // Numbers are positions from 1; a real rounds half to even.
        const double p = index.kind == Meaning::kReal ? std::nearbyint(index.real) : index.number;
        if (p < 1 || p > static_cast<double>(m.elements.size())) return {kOutOfRange, 0};
        return {S_OK, static_cast<std::size_t>(p) - 1};
    }
    default: return {kTypeMismatch, 0};  // empty, missing, null and errors are no index
    }
}

bool missing(const Meaning& m) { return m.kind == Meaning::kMissing || m.kind == Meaning::kEmpty; }

// ---- reading results ----

Value value_of(const VARIANT& v, const char* what)
{
    Value out;
    out.vt = v.vt;
    if (v.vt == VT_I4)
        out.number = v.lVal;
    else if (v.vt == VT_BSTR)
        out.text =
            std::u16string(reinterpret_cast<const char16_t*>(v.bstrVal), SysStringLen(v.bstrVal));
    else if (v.vt != VT_EMPTY)
        fail(what, "unexpected type " + std::to_string(v.vt));
    return out;
}

class Script {
public:
    explicit Script(fuzzing::Reader& in) : in_(in)
    {
        check_status(rt::create_collection(list_.put()), S_OK, "create_collection");
    }

    void run()
    {
        for (int steps = 0; !in_.empty() && steps < 2000; ++steps) {
            switch (in_.below(10)) {
            case 0:
            case 1:
            case 2: add(); break;
            case 3:
            case 4: item(); break;
            case 5: remove(); break;
            case 6: count(); break;
            case 7: enumerate_all(); break;
            default: walk(); break;
            }
        }
        final_check();
    }

private:
    void add()
    {
        Argument item, key, before, after;
        Value value;
        switch (in_.below(4)) {
        case 0: break;  // an empty value
        case 1: {
            const Meaning m = text_or_number(in_, item, item.top(), true);
            value.vt = VT_BSTR;
            value.text = m.text;
            break;
        }
        default: {
            const Meaning m = text_or_number(in_, item, item.top(), false);
            value.vt = VT_I4;
            value.number = m.number;
            break;
        }
        }
        const Meaning k = some_argument(in_, key, false);
        Meaning b{Meaning::kMissing, {}, 0, 0}, a{Meaning::kMissing, {}, 0, 0};
        const std::size_t placement = in_.below(4);
        if (placement & 1)
            b = some_argument(in_, before, true);
        else
            before.make_null();
        if (placement & 2)
            a = some_argument(in_, after, true);
        else
            after.make_null();

        // The model: the key first, then its uniqueness, then the place.
        Expectation e;
        std::optional<std::u16string> folded_key;
        if (!missing(k)) {
            if (k.kind == Meaning::kText)
                folded_key = folded(k.text);
            else if (k.kind == Meaning::kNumber)
                folded_key = decimal(k.number);
            else
                e.status = kTypeMismatch;
        }
        if (e.status == S_OK && folded_key && model_.position_of_key(*folded_key))
            e.status = kDuplicateKey;
        if (e.status == S_OK) {
            if (!missing(b) && !missing(a)) {
                e.status = kMissingKey;  // invalid argument: both places given
            } else if (!missing(b)) {
                e = select(model_, b);
            } else if (!missing(a)) {
                e = select(model_, a);
                ++e.position;
            } else {
                e.position = model_.elements.size();
            }
        }

        const HRESULT hr = list_->Add(item.get(), key.get(), before.get(), after.get());
        check_status(hr, e.status, "Add");
        if (hr == S_OK) model_.insert(e.position, Element{value, folded_key});
        check_count();
    }

    void item()
    {
        Argument index;
        const Meaning m = some_argument(in_, index, true);
        const Expectation e = index.get() ? select(model_, m) : Expectation{E_POINTER, 0};
        rt::Variant out;
        const HRESULT hr = list_->Item(index.get(), out.put());
        check_status(hr, e.status, "Item");
        if (hr != S_OK) {
            check(out->vt == VT_EMPTY, "Item failed but gave a value");
            return;
        }
        const Value got = value_of(*out.get(), "Item");
        check(got == model_.elements[e.position].value, "Item gave another value",
              shown(got) + " for " + shown(model_.elements[e.position].value));
    }

    void remove()
    {
        Argument index;
        const Meaning m = some_argument(in_, index, true);
        const Expectation e = index.get() ? select(model_, m) : Expectation{E_POINTER, 0};
        check_status(list_->Remove(index.get()), e.status, "Remove");
        if (e.status == S_OK) model_.remove(e.position);
        check_count();
    }

    void count() { check_count(); }

    void check_count()
    {
        LONG n = -1;
        check_status(list_->Count(&n), S_OK, "Count");
        check(n == static_cast<LONG>(model_.elements.size()), "Count differs from the model",
              std::to_string(n) + " for " + std::to_string(model_.elements.size()));
    }

    rt::ComPtr<IEnumVARIANT> new_enumerator()
    {
        rt::ComPtr<IUnknown> unknown;
        check_status(list_->_NewEnum(unknown.put()), S_OK, "_NewEnum");
        rt::ComPtr<IEnumVARIANT> e;
        check_status(unknown->QueryInterface(IID_IEnumVARIANT, e.put_void()), S_OK,
                     "QI IEnumVARIANT");
        return e;
    }

    // Next(celt) from the model's place `at`, which it advances.
    void next(IEnumVARIANT* e, std::size_t& at, ULONG celt)
    {
        std::vector<VARIANT> got(celt + 1);
        for (VARIANT& v : got) VariantInit(&v);
        ULONG fetched = 99;
        const HRESULT hr = e->Next(celt, got.data(), &fetched);
        const std::size_t left = model_.elements.size() - at;
        const ULONG expected = static_cast<ULONG>(std::min<std::size_t>(celt, left));
        check_status(hr, expected == celt ? S_OK : S_FALSE, "Next");
        check(fetched == expected, "Next fetched another number");
        for (ULONG i = 0; i < celt + 1; ++i) {
            if (i < fetched) {
                const Value v = value_of(got[i], "Next");
                check(v == model_.elements[at + i].value, "Next gave another value",
                      shown(v) + " for " + shown(model_.elements[at + i].value));
            } else {
                check(got[i].vt == VT_EMPTY, "Next wrote past what it fetched");
            }
            VariantClear(&got[i]);
        }
        at += fetched;
    }

    void enumerate_all()
    {
        rt::ComPtr<IEnumVARIANT> e = new_enumerator();
        const ULONG chunk = 1 + static_cast<ULONG>(in_.below(4));
        std::size_t at = 0;
        while (at < model_.elements.size()) next(e.get(), at, chunk);
        next(e.get(), at, chunk);  // past the end: nothing, S_FALSE (or S_OK for 0)
    }

    // One enumerator held across changes: every step is checked against the
    // place the model keeps for it.
    void walk()
    {
        if (!walker_) {
            walker_ = new_enumerator();
            model_.walker = 0;
        }
        std::size_t& at = *model_.walker;
        switch (in_.below(4)) {
        case 0: next(walker_.get(), at, static_cast<ULONG>(in_.below(4))); break;
        case 1: {
            const ULONG n = static_cast<ULONG>(in_.below(4));
            const std::size_t step = std::min<std::size_t>(n, model_.elements.size() - at);
            check_status(walker_->Skip(n), step == n ? S_OK : S_FALSE, "Skip");
            at += step;
            break;
        }
        case 2:
            check_status(walker_->Reset(), S_OK, "Reset");
            at = 0;
            break;
        default: {
            rt::ComPtr<IEnumVARIANT> clone;
            check_status(walker_->Clone(clone.put()), S_OK, "Clone");
            walker_ = std::move(clone);  // the clone goes on from the same place
            break;
        }
        }
    }

    void final_check()
    {
        check_count();
        for (std::size_t i = 0; i < model_.elements.size(); ++i) {
            VARIANT index;
            VariantInit(&index);
            index.vt = VT_I4;
            index.lVal = static_cast<LONG>(i + 1);
            rt::Variant out;
            check_status(list_->Item(&index, out.put()), S_OK, "Item at the end");
            check(value_of(*out.get(), "Item") == model_.elements[i].value,
                  "element differs at the end");
            if (!model_.elements[i].key) continue;
            // Each key finds its own element.
            Argument key;
            set_text(key, key.top(), *model_.elements[i].key);
            check_status(list_->Item(key.get(), out.put()), S_OK, "Item by key at the end");
            check(value_of(*out.get(), "Item") == model_.elements[i].value,
                  "key finds another element");
        }
    }

    fuzzing::Reader& in_;
    Model model_;
    rt::ComPtr<_Collection> list_;
    rt::ComPtr<IEnumVARIANT> walker_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzzing::Reader in(data, size);
    const fuzzing::LiveCounts counts;
    rt::fail_allocation_after(0);
    {
        Script script(in);
        script.run();
    }
    counts.check();
    return 0;
}
