// Variants of the stand-in runtime: initialise, clear, copy, and conversion to
// text, with the platform's statuses.
//
// Only what the module needs is converted. Safe arrays and records cannot be
// made here, so a variant that claims to hold one is refused; dates, currency
// and decimals are valid types the stand-in does not turn into text
// (E_NOTIMPL), and conversions to anything but text are reported as type
// mismatches, except the trivial ones (same type, empty, null).
#include "runtime/standin/oaidl.h"
#include "runtime/variant.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Type bits the stand-in's enumeration leaves out.
constexpr VARTYPE kVector = 0x1000;
constexpr VARTYPE kReserved = 0x8000;
constexpr VARTYPE kClsid = 72;
constexpr VARTYPE kUnusedType = 15;
constexpr USHORT kLocalBool = 0x10;  // VARIANT_LOCALBOOL

VARTYPE base_type(VARTYPE vt) { return vt & VT_TYPEMASK; }

// The platform's rule for a type tag that may appear in a variant at all.
bool valid_type(VARTYPE vt)
{
    const VARTYPE extra = vt & ~VT_TYPEMASK;
    const VARTYPE base = base_type(vt);
    if (extra & (kVector | kReserved)) return false;
    if (base == kUnusedType) return false;
    if (!(base < VT_VOID || base == VT_RECORD || base == kClsid)) return false;
    if ((extra & (VT_BYREF | VT_ARRAY)) && base <= VT_NULL) return false;
    return true;
}

// A valid tag whose payload the stand-in could not have produced.
bool foreign_payload(const VARIANT& v)
{
    if (v.vt & VT_BYREF) return false;
    if (v.vt & VT_ARRAY) return v.parray != nullptr;
    if (v.vt == VT_RECORD) return v.pRecInfo != nullptr || v.pvRecord != nullptr;
    return false;
}

// Reads what a by-reference variant points at into a by-value variant that
// owns nothing: the caller copies out of it, never clears it.
HRESULT dereference(const VARIANT& src, VARIANT& view)
{
    view = src;
    if (!(src.vt & VT_BYREF)) return S_OK;
    if (!src.byref) return DISP_E_TYPEMISMATCH;
    const VARTYPE base = base_type(src.vt);
    if (src.vt & VT_ARRAY) return DISP_E_TYPEMISMATCH;
    if (src.vt & (kVector | kReserved)) return E_INVALIDARG;
    view.vt = base;
    view.llVal = 0;
    if (const std::size_t size = rt::referenced_size(base)) {
        std::memcpy(&view.llVal, src.byref, size);
        return S_OK;
    }
    switch (base) {
    case VT_DECIMAL:
        std::memcpy(&view.decVal, src.pdecVal, sizeof(DECIMAL));
        view.vt = VT_DECIMAL;
        return S_OK;
    case VT_VARIANT: {
        const VARIANT& inner = *src.pvarVal;
        // One level only, as the platform does.
        if (inner.vt == (VT_VARIANT | VT_BYREF)) return E_INVALIDARG;
        if (!(inner.vt & VT_BYREF) && (base_type(inner.vt) == kClsid || !valid_type(inner.vt)))
            return DISP_E_BADVARTYPE;
        return dereference(inner, view);
    }
    case VT_RECORD: return DISP_E_TYPEMISMATCH;
    default: return E_INVALIDARG;
    }
}

// Longest text: a 64-bit decimal with sign, or a real in the forms below.
constexpr std::size_t kTextMax = 64;

HRESULT to_bstr(const char* text, BSTR& out)
{
    OLECHAR wide[kTextMax];
    UINT n = 0;
    for (; text[n] != '\0' && n < kTextMax; ++n) wide[n] = static_cast<OLECHAR>(text[n]);
    out = SysAllocStringLen(wide, n);
    return out ? S_OK : E_OUTOFMEMORY;
}

template <class Int>
HRESULT decimal_text(Int value, BSTR& out)
{
    char buf[kTextMax];
    const auto r = std::to_chars(buf, buf + sizeof buf - 1, value);
    *r.ptr = '\0';
    return to_bstr(buf, out);
}

// The exact decimal digits of a positive double, which printf gives when
// asked for enough of them (a double has at most 767), and its exponent:
// value = d[0].d[1]d[2]... * 10^exponent. Only digits and the exponent are
// read back, so the locale's decimal point does not matter.
constexpr int kExactDigits = 770;

struct Digits {
    char d[kExactDigits];
    int count = 0;
    int exponent = 0;
};

void exact_digits(double magnitude, Digits& x)
{
    char raw[kExactDigits + 32];
    std::snprintf(raw, sizeof raw, "%.*e", kExactDigits - 1, magnitude);
    const char* p = raw;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9' && x.count < kExactDigits) x.d[x.count++] = *p;
    x.exponent = *p ? static_cast<int>(std::strtol(p + 1, nullptr, 10)) : 0;
}

// Keeps `precision` significant digits, rounding halves away from zero as the
// platform does (654322.25 to seven digits reads 654322.3, where printf would
// round to even), and drops trailing zeros.
void round_digits(Digits& x, int precision)
{
    bool carry = x.count > precision && x.d[precision] >= '5';
    x.count = std::min(x.count, precision);
    for (int i = x.count - 1; carry && i >= 0; --i) {
        carry = x.d[i] == '9';
        x.d[i] = carry ? '0' : static_cast<char>(x.d[i] + 1);
    }
    if (carry) {  // 9.99 became 10.0
        x.d[0] = '1';
        ++x.exponent;
    }
    while (x.count > 1 && x.d[x.count - 1] == '0') --x.count;
}

// The platform's text for a real: `precision` significant digits in general
// form, where a small number is still written out in full while that takes
// fewer digits than the precision (5.6789E-11 reads 0.000000000056789), and
// never a negative zero.
void real_text(char (&s)[kTextMax], double value, int precision)
{
    if (!std::isfinite(value)) {
        std::snprintf(s, kTextMax, "%G", value);
        return;
    }
    if (value == 0) {
        std::strcpy(s, "0");
        return;
    }
    Digits x;
    exact_digits(std::fabs(value), x);
    round_digits(x, precision);

    std::size_t n = 0;
    auto put = [&](char c) {
        if (n + 1 < kTextMax) s[n++] = c;
    };
    const int e = x.exponent;
    const bool fixed =
        (e >= -4 && e < precision) || (e < -4 && -e + std::max(x.count - 2, 0) < precision);
    if (value < 0) put('-');
    if (!fixed) {
        put(x.d[0]);
        if (x.count > 1) put('.');
        for (int i = 1; i < x.count; ++i) put(x.d[i]);
        char exponent[16];
        std::snprintf(exponent, sizeof exponent, "E%c%02d", e < 0 ? '-' : '+', std::abs(e));
        for (const char* p = exponent; *p; ++p) put(*p);
    } else if (e >= 0) {
        for (int i = 0; i <= e; ++i) put(i < x.count ? x.d[i] : '0');
        if (x.count > e + 1) put('.');
        for (int i = e + 1; i < x.count; ++i) put(x.d[i]);
    } else {
        put('0');
        put('.');
        for (int i = 1; i < -e; ++i) put('0');
        for (int i = 0; i < x.count; ++i) put(x.d[i]);
    }
    s[n] = '\0';
}

HRESULT real_bstr(double value, int digits, BSTR& out)
{
    char text[kTextMax];
    real_text(text, value, digits);
    return to_bstr(text, out);
}

HRESULT text_of(const VARIANT& v, VARTYPE from, USHORT flags, BSTR& out)
{
    switch (from) {
    case VT_EMPTY: out = SysAllocStringLen(nullptr, 0); return out ? S_OK : E_OUTOFMEMORY;
    case VT_BOOL:
        if (flags & (VARIANT_ALPHABOOL | kLocalBool))
            return to_bstr(v.boolVal ? "True" : "False", out);
        return decimal_text(static_cast<int>(v.boolVal), out);
    case VT_I1: return decimal_text(static_cast<int>(static_cast<signed char>(v.cVal)), out);
    case VT_UI1: return decimal_text(static_cast<unsigned>(v.bVal), out);
    case VT_I2: return decimal_text(static_cast<int>(v.iVal), out);
    case VT_UI2: return decimal_text(static_cast<unsigned>(v.uiVal), out);
    case VT_I4: return decimal_text(v.lVal, out);
    case VT_UI4: return decimal_text(v.ulVal, out);
    case VT_I8: return decimal_text(v.llVal, out);
    case VT_UI8: return decimal_text(v.ullVal, out);
    case VT_R4: return real_bstr(v.fltVal, 7, out);
    case VT_R8: return real_bstr(v.dblVal, 15, out);
    case VT_DATE:
    case VT_CY:
    case VT_DECIMAL: return E_NOTIMPL;
    default:
        // Null, error codes, objects (no default-property call here), nested
        // variants and records have no text.
        return DISP_E_TYPEMISMATCH;
    }
}

// Converts a by-value source into tmp, which starts empty and owns its result.
HRESULT coerce(const VARIANT& src, USHORT flags, VARTYPE to, VARIANT& tmp)
{
    VARTYPE from = src.vt;
    if (from == VT_INT) from = VT_I4;
    if (from == VT_UINT) from = VT_UI4;
    if (to == VT_INT) to = VT_I4;
    if (to == VT_UINT) to = VT_UI4;

    if ((from | to) & VT_ARRAY) return DISP_E_TYPEMISMATCH;
    if (from == to) return VariantCopy(&tmp, const_cast<VARIANT*>(&src));

    switch (to) {
    case VT_EMPTY:
    case VT_NULL:
        if (to == VT_EMPTY && from == VT_NULL) return DISP_E_TYPEMISMATCH;
        if (from <= VT_UINT && from != kUnusedType && from != VT_ERROR) return S_OK;
        return DISP_E_TYPEMISMATCH;
    case VT_BSTR: return text_of(src, from, flags, tmp.bstrVal);
    default: return DISP_E_TYPEMISMATCH;
    }
}

}  // namespace

WINOLEAUTAPI_(void) VariantInit(VARIANTARG* pvarg)
{
    // The whole structure, as current platforms do; older ones set only vt.
    std::memset(pvarg, 0, sizeof *pvarg);
}

WINOLEAUTAPI VariantClear(VARIANTARG* pvarg)
{
    if (!valid_type(pvarg->vt)) return DISP_E_BADVARTYPE;
    if (foreign_payload(*pvarg)) return E_NOTIMPL;
    switch (pvarg->vt) {
    case VT_BSTR: SysFreeString(pvarg->bstrVal); break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (pvarg->punkVal) pvarg->punkVal->Release();
        break;
    default: break;  // by-reference variants own nothing
    }
    // Only the tag changes; the old payload bits stay, as on the platform.
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

WINOLEAUTAPI VariantCopy(VARIANTARG* pvargDest, VARIANTARG* pvargSrc)
{
    if (base_type(pvargSrc->vt) == kClsid || !valid_type(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    if (pvargSrc == pvargDest) return S_OK;
    if (foreign_payload(*pvargSrc)) return E_NOTIMPL;
    const HRESULT cleared = VariantClear(pvargDest);
    if (FAILED(cleared)) return cleared;

    VARIANT copy = *pvargSrc;
    switch (pvargSrc->vt) {
    case VT_BSTR:
        // A null string copies as an empty one, as on the platform.
        copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;  // destination stays empty
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (copy.punkVal) copy.punkVal->AddRef();
        break;
    default: break;  // plain values and references are copied bit for bit
    }
    *pvargDest = copy;
    return S_OK;
}

WINOLEAUTAPI VariantCopyInd(VARIANT* pvarDest, VARIANTARG* pvargSrc)
{
    if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
    if (!valid_type(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    VARIANT view;  // owns nothing: the copy below takes its own references
    const HRESULT hr = dereference(*pvargSrc, view);
    return FAILED(hr) ? hr : VariantCopy(pvarDest, &view);
}

WINOLEAUTAPI VariantChangeType(VARIANTARG* pvargDest, VARIANTARG* pvarSrc, USHORT wFlags,
                               VARTYPE vt)
{
    if (vt == kClsid || !valid_type(pvarSrc->vt) || !valid_type(vt)) return DISP_E_BADVARTYPE;
    if (foreign_payload(*pvarSrc)) return DISP_E_TYPEMISMATCH;

    VARIANT view;
    HRESULT hr = dereference(*pvarSrc, view);
    if (FAILED(hr)) return hr;

    // The result is built apart and only then replaces the destination, so a
    // failed conversion leaves the destination as it was, and converting a
    // variant into itself reads the source before it is cleared.
    rt::Variant result;
    hr = coerce(view, wFlags, vt, *result.get());
    if (FAILED(hr)) return hr;
    result->vt = vt;
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) return hr;
    *pvargDest = *result.get();
    result->vt = VT_EMPTY;  // handed over
    return S_OK;
}
