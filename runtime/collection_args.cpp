#include "collection_args.h"

#include "bstr.h"
#include "collection.h"
#include "raised_error.h"
#include "variant.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace rt::coll {

namespace {

// Deep enough for any caller that wraps a variant in a reference or two; a
// longer chain is malformed (or a cycle) and must not hang the collection.
constexpr int kMaxIndirection = 8;

[[noreturn]] void raise(HRESULT code) { throw RaisedError::failure(code); }

// The types a position or a key can be read from besides text: each of
// them below 32.
bool is_number(VARTYPE vt) noexcept
{
    constexpr uint32_t kNumbers = 1u << VT_I1 | 1u << VT_UI1 | 1u << VT_I2 | 1u << VT_UI2 |
                                  1u << VT_I4 | 1u << VT_UI4 | 1u << VT_INT | 1u << VT_UINT |
                                  1u << VT_I8 | 1u << VT_UI8 | 1u << VT_R4 | 1u << VT_R8 |
                                  1u << VT_CY | 1u << VT_DATE | 1u << VT_BOOL | 1u << VT_DECIMAL;
    return vt < 32 && (kNumbers >> vt & 1) != 0;
}

// Positions beyond LONG cannot exist (Count is a LONG), so they collapse to
// 0, which no element has.
long clamp_position(long long p) noexcept
{
    return p >= 1 && p <= LONG_MAX ? static_cast<long>(p) : 0;
}

long rounded_position(double d) noexcept
{
    if (!(d > 0.5 && d < 2147483648.0)) return 0;  // NaN lands here too
    double whole = std::floor(d);
    const double fraction = d - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    return clamp_position(static_cast<long long>(whole));
}

// Currency counts ten-thousandths.
long currency_position(LONGLONG units) noexcept
{
    if (units <= 0) return 0;
    long long whole = units / 10000;
    const long long rest = units % 10000;
    if (rest > 5000 || (rest == 5000 && whole % 2 != 0)) ++whole;
    return clamp_position(whole);
}

// 96-bit magnitude over a power of ten, divided exactly a digit at a time so
// the half-to-even decision sees every discarded digit.
long decimal_position(const DECIMAL& d) noexcept
{
    if (d.sign & 0x80) return 0;
    uint32_t limb[3] = {d.Hi32, static_cast<uint32_t>(d.Lo64 >> 32), static_cast<uint32_t>(d.Lo64)};
    unsigned last_digit = 0;
    bool lower_digits = false;
    for (int i = 0; i < d.scale; ++i) {
        lower_digits = lower_digits || last_digit != 0;
        uint64_t rest = 0;
        for (uint32_t& part : limb) {
            const uint64_t current = (rest << 32) | part;
            part = static_cast<uint32_t>(current / 10);
            rest = current % 10;
        }
        last_digit = static_cast<unsigned>(rest);
    }
    if (limb[0] != 0 || limb[1] != 0) return 0;
    long long whole = limb[2];
    if (last_digit > 5 || (last_digit == 5 && (lower_digits || whole % 2 != 0))) ++whole;
    return clamp_position(whole);
}

long position_of(const VARIANT& v)
{
    switch (v.vt) {
    case VT_I1: return clamp_position(static_cast<signed char>(v.cVal));
    case VT_UI1: return clamp_position(v.bVal);
    case VT_I2: return clamp_position(v.iVal);
    case VT_UI2: return clamp_position(v.uiVal);
    case VT_BOOL: return clamp_position(v.boolVal);
    case VT_I4: return clamp_position(v.lVal);
    case VT_UI4: return clamp_position(v.ulVal);
    case VT_INT: return clamp_position(v.intVal);
    case VT_UINT: return clamp_position(v.uintVal);
    case VT_I8: return clamp_position(v.llVal);
    case VT_UI8: return v.ullVal <= LONG_MAX ? clamp_position(static_cast<long long>(v.ullVal)) : 0;
    case VT_R4: return rounded_position(v.fltVal);
    case VT_R8: return rounded_position(v.dblVal);
    case VT_DATE: return rounded_position(v.date);
    case VT_CY: return currency_position(v.cyVal.int64);
    case VT_DECIMAL: return decimal_position(v.decVal);
    default: raise(kCollTypeMismatch);
    }
}

}  // namespace

VARIANT referenced_value(const VARIANT* arg)
{
    for (int depth = 0; arg && arg->vt == (VT_BYREF | VT_VARIANT); ++depth) {
        if (depth == kMaxIndirection) raise(kCollTypeMismatch);
        arg = arg->pvarVal;
    }
    if (!arg) raise(E_POINTER);
    if (!(arg->vt & VT_BYREF)) return *arg;
    if (!arg->byref) raise(E_POINTER);

    const VARTYPE base = static_cast<VARTYPE>(arg->vt & ~VT_BYREF);
    VARIANT v;
    VariantInit(&v);
    if (base == VT_DECIMAL) {
        v.decVal = *arg->pdecVal;  // overlays vt, so vt is set after
    } else if (std::size_t size = base & VT_ARRAY ? sizeof(SAFEARRAY*) : referenced_size(base)) {
        std::memcpy(&v.llVal, arg->byref, size);
    } else {
        raise(kCollTypeMismatch);
    }
    v.vt = base;
    return v;
}

OLECHAR fold_key_char(OLECHAR c) noexcept
{
    const unsigned u = static_cast<unsigned>(c);
    auto to = [](unsigned small) { return static_cast<OLECHAR>(small); };
    if (u < 0x80) return u >= 'A' && u <= 'Z' ? to(u + 0x20) : c;
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return to(u + 0x20);
    if (u == 0x178) return to(0xFF);
    if (u >= 0x100 && u <= 0x17E) {
        // Latin Extended-A pairs capital and small letters, but the pairs
        // change parity at U+0139 and back at U+014A (U+0138, U+0149 and
        // U+017F stand alone; dotted and dotless i are no pair).
        const bool odd_capitals = (u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E);
        if (u == 0x130 || u == 0x131 || u == 0x138 || u == 0x149) return c;
        return (u % 2 != 0) == odd_capitals ? to(u + 1) : c;
    }
    if (u >= 0x391 && u <= 0x3AB && u != 0x3A2) return to(u + 0x20);
    if (u >= 0x400 && u <= 0x40F) return to(u + 0x50);
    if (u >= 0x410 && u <= 0x42F) return to(u + 0x20);
    return c;
}

KeyText folded_key(const OLECHAR* text, UINT length)
{
    KeyText key(length, OLECHAR{});
    fold_into(&key[0], KeyView(text, length));
    return key;
}

Selector selector_of(const VARIANT* arg)
{
    VARIANT scratch;
    const VARIANT& v = borrowed_value(arg, scratch);
    if (v.vt == VT_BSTR) return {Selector::kKey, folded_key(v.bstrVal, SysStringLen(v.bstrVal)), 0};
    return {Selector::kPosition, KeyText(), position_of(v)};
}

KeySource key_source_of_value(const VARIANT* arg)
{
    KeySource source;
    VARIANT scratch;
    const VARIANT& v = borrowed_value(arg, scratch);
    if (v.vt == VT_BSTR) {
        source.units = v.bstrVal;
        source.length = SysStringLen(v.bstrVal);
        return source;
    }
    if (!is_number(v.vt)) raise(kCollTypeMismatch);

    VARIANT text;
    VariantInit(&text);
    const HRESULT hr = VariantChangeType(&text, const_cast<VARIANT*>(&v), 0, VT_BSTR);
    if (hr == E_OUTOFMEMORY) throw RaisedError::out_of_memory();
    if (FAILED(hr)) raise(kCollTypeMismatch);
    source.converted.reset(text.bstrVal);
    source.units = source.converted.get();
    source.length = source.converted.length();
    return source;
}

}  // namespace rt::coll
