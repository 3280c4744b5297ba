// The stand-in's variants: layout, clear, copy and conversion to text.
#include "test_support.h"

#include <cfloat>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

namespace {

class RuntimeVariant : public testing_support::LeakCheckedTest {};

// An object that only counts its references; it lives on the stack.
struct Counted : IUnknown {
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

std::u16string text_of(const VARIANT& v)
{
    return std::u16string(v.bstrVal, SysStringLen(v.bstrVal));
}

VARIANT of(VARTYPE vt, std::function<void(VARIANT&)> fill = {})
{
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    if (fill) fill(v);
    return v;
}

TEST(RuntimeVariantLayout, MatchesThePlatform)
{
    EXPECT_EQ(sizeof(VARIANT), sizeof(void*) == 8 ? 24u : 16u);
    EXPECT_EQ(offsetof(VARIANT, vt), 0u);
    EXPECT_EQ(offsetof(VARIANT, wReserved1), 2u);
    EXPECT_EQ(offsetof(VARIANT, wReserved3), 6u);
    EXPECT_EQ(offsetof(VARIANT, lVal), 8u);
    EXPECT_EQ(offsetof(VARIANT, bstrVal), 8u);
    EXPECT_EQ(offsetof(VARIANT, pRecInfo), 8u + sizeof(void*));
    EXPECT_EQ(offsetof(VARIANT, decVal), 0u);
    EXPECT_EQ(sizeof(DECIMAL), 16u);
    EXPECT_EQ(offsetof(DECIMAL, scale), 2u);
    EXPECT_EQ(offsetof(DECIMAL, Hi32), 4u);
    EXPECT_EQ(offsetof(DECIMAL, Lo64), 8u);
    EXPECT_EQ(sizeof(CY), 8u);
}

TEST(RuntimeVariantLayout, InitZeroesEveryByte)
{
    VARIANT v;
    std::memset(&v, 0xAB, sizeof v);
    VariantInit(&v);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&v);
    for (std::size_t i = 0; i < sizeof v; ++i) EXPECT_EQ(bytes[i], 0) << i;
}

TEST_F(RuntimeVariant, ClearFreesStringsAndReleasesObjectsOnly)
{
    VARIANT s = of(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(u"x"); });
    EXPECT_EQ(VariantClear(&s), S_OK);
    EXPECT_EQ(s.vt, VT_EMPTY);

    Counted obj;
    VARIANT u = of(VT_DISPATCH, [&](VARIANT& v) { v.punkVal = &obj; });
    EXPECT_EQ(VariantClear(&u), S_OK);
    EXPECT_EQ(obj.refs, 0u);

    obj.refs = 1;
    IUnknown* held = &obj;
    VARIANT r = of(VT_UNKNOWN | VT_BYREF, [&](VARIANT& v) { v.ppunkVal = &held; });
    EXPECT_EQ(VariantClear(&r), S_OK);
    EXPECT_EQ(obj.refs, 1u);
    EXPECT_EQ(r.vt, VT_EMPTY);

    VARIANT n = of(VT_I4, [](VARIANT& v) { v.lVal = 1234; });
    EXPECT_EQ(VariantClear(&n), S_OK);
    EXPECT_EQ(n.lVal, 1234);  // only the tag changes
}

TEST_F(RuntimeVariant, ClearRefusesTagsThePlatformRefuses)
{
    for (VARTYPE vt : {VARTYPE(15), VARTYPE(VT_VOID), VARTYPE(VT_HRESULT), VARTYPE(0x1000 | VT_I4),
                       VARTYPE(0x8000 | VT_I4), VARTYPE(VT_BYREF | VT_EMPTY),
                       VARTYPE(VT_ARRAY | VT_NULL), VARTYPE(0xFF)}) {
        VARIANT v = of(vt);
        EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(v.vt, vt);
    }
}

TEST_F(RuntimeVariant, CopyIsDeepForStringsAndCountsObjects)
{
    VARIANT src = of(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocStringLen(u"a\0b", 3); });
    VARIANT dst = of(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(u"old"); });
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_NE(dst.bstrVal, src.bstrVal);
    EXPECT_EQ(text_of(dst), std::u16string(u"a\0b", 3));
    EXPECT_EQ(rt::live_strings(), guard().strings_at_start() + 2);  // "old" was freed
    VariantClear(&dst);
    VariantClear(&src);

    Counted obj;
    VARIANT o = of(VT_UNKNOWN, [&](VARIANT& v) { v.punkVal = &obj; });
    ASSERT_EQ(VariantCopy(&dst, &o), S_OK);
    EXPECT_EQ(obj.refs, 2u);
    VariantClear(&dst);

    IUnknown* held = &obj;
    VARIANT r = of(VT_UNKNOWN | VT_BYREF, [&](VARIANT& v) { v.ppunkVal = &held; });
    ASSERT_EQ(VariantCopy(&dst, &r), S_OK);
    EXPECT_EQ(dst.ppunkVal, &held);
    EXPECT_EQ(obj.refs, 1u);
}

TEST_F(RuntimeVariant, CopyOfNullStringIsEmptyString)
{
    VARIANT src = of(VT_BSTR);
    VARIANT dst = of(VT_EMPTY);
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    ASSERT_NE(dst.bstrVal, nullptr);
    EXPECT_EQ(SysStringLen(dst.bstrVal), 0u);
    VariantClear(&dst);
}

TEST_F(RuntimeVariant, CopyOutOfMemoryLeavesDestinationEmpty)
{
    VARIANT src = of(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(u"x"); });
    VARIANT dst = of(VT_I4, [](VARIANT& v) { v.lVal = 5; });
    rt::fail_allocation_after(1);
    EXPECT_EQ(VariantCopy(&dst, &src), E_OUTOFMEMORY);
    EXPECT_EQ(dst.vt, VT_EMPTY);
    VariantClear(&src);
}

TEST_F(RuntimeVariant, CopyChecksBothTags)
{
    VARIANT good = of(VT_I2);
    VARIANT bad = of(VT_VOID);
    EXPECT_EQ(VariantCopy(&good, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantCopy(&bad, &good), DISP_E_BADVARTYPE);
    EXPECT_EQ(bad.vt, VT_VOID);
    EXPECT_EQ(VariantCopy(&good, &good), S_OK);
}

TEST_F(RuntimeVariant, CopyIndFollowsOneReference)
{
    Counted obj;
    IUnknown* held = &obj;
    BSTR text = SysAllocString(u"ref");
    LONG number = 42;
    VARIANT inner = of(VT_BSTR, [&](VARIANT& v) { v.bstrVal = text; });
    VARIANT to_inner = of(VT_VARIANT | VT_BYREF, [&](VARIANT& v) { v.pvarVal = &inner; });
    const struct {
        const char* what;
        VARIANT src;
        HRESULT status;
        VARTYPE vt;
    } cases[] = {
        {"number", of(VT_I4 | VT_BYREF, [&](VARIANT& v) { v.plVal = &number; }), S_OK, VT_I4},
        {"string", of(VT_BSTR | VT_BYREF, [&](VARIANT& v) { v.pbstrVal = &text; }), S_OK, VT_BSTR},
        {"object", of(VT_UNKNOWN | VT_BYREF, [&](VARIANT& v) { v.ppunkVal = &held; }), S_OK,
         VT_UNKNOWN},
        {"variant", to_inner, S_OK, VT_BSTR},
        {"by value", inner, S_OK, VT_BSTR},
        {"two variants deep", of(VT_VARIANT | VT_BYREF, [&](VARIANT& v) { v.pvarVal = &to_inner; }),
         E_INVALIDARG, VT_EMPTY},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.what);
        VARIANT dst = of(VT_EMPTY);
        EXPECT_EQ(VariantCopyInd(&dst, &c.src), c.status);
        EXPECT_EQ(dst.vt, c.vt);
        EXPECT_TRUE(dst.vt != VT_I4 || dst.lVal == 42);
        EXPECT_TRUE(dst.vt != VT_BSTR || (dst.bstrVal != text && text_of(dst) == u"ref"))
            << "the string is copied";
        EXPECT_TRUE(dst.vt != VT_UNKNOWN || (dst.punkVal == &obj && obj.refs == 2u));
        VariantClear(&dst);
        EXPECT_EQ(obj.refs, 1u);
        EXPECT_EQ(rt::live_strings(), guard().strings_at_start() + 1) << "a copy was kept";
    }
    SysFreeString(text);
}

struct TextCase {
    const char* name;
    std::function<VARIANT()> source;
    USHORT flags;
    HRESULT status;
    std::u16string text;
};
void PrintTo(const TextCase& c, std::ostream* out) { *out << c.name; }  // not its raw bytes

VARIANT real(double d)
{
    return of(VT_R8, [d](VARIANT& v) { v.dblVal = d; });
}
VARIANT single(float f)
{
    return of(VT_R4, [f](VARIANT& v) { v.fltVal = f; });
}
VARIANT boolean(VARIANT_BOOL b)
{
    return of(VT_BOOL, [b](VARIANT& v) { v.boolVal = b; });
}

LONG g_long = 42;
BSTR g_null_bstr = nullptr;
VARIANT g_inner_i2 = of(VT_I2, [](VARIANT& v) { v.iVal = -7; });
VARIANT g_inner_ref = of(VT_VARIANT | VT_BYREF, [](VARIANT& v) { v.pvarVal = &g_inner_i2; });

const TextCase kTextCases[] = {
    {"empty", [] { return of(VT_EMPTY); }, 0, S_OK, u""},
    {"null", [] { return of(VT_NULL); }, 0, DISP_E_TYPEMISMATCH, u""},
    {"i2_min", [] { return of(VT_I2, [](VARIANT& v) { v.iVal = SHRT_MIN; }); }, 0, S_OK, u"-32768"},
    {"i4_min", [] { return of(VT_I4, [](VARIANT& v) { v.lVal = INT32_MIN; }); }, 0, S_OK,
     u"-2147483648"},
    {"ui1", [] { return of(VT_UI1, [](VARIANT& v) { v.bVal = 255; }); }, 0, S_OK, u"255"},
    {"i1", [] { return of(VT_I1, [](VARIANT& v) { v.cVal = CHAR(-128); }); }, 0, S_OK, u"-128"},
    {"ui2", [] { return of(VT_UI2, [](VARIANT& v) { v.uiVal = 65535; }); }, 0, S_OK, u"65535"},
    {"ui4", [] { return of(VT_UI4, [](VARIANT& v) { v.ulVal = UINT32_MAX; }); }, 0, S_OK,
     u"4294967295"},
    {"i8_min", [] { return of(VT_I8, [](VARIANT& v) { v.llVal = INT64_MIN; }); }, 0, S_OK,
     u"-9223372036854775808"},
    {"ui8_max", [] { return of(VT_UI8, [](VARIANT& v) { v.ullVal = UINT64_MAX; }); }, 0, S_OK,
     u"18446744073709551615"},
    {"int", [] { return of(VT_INT, [](VARIANT& v) { v.intVal = -7; }); }, 0, S_OK, u"-7"},
    {"uint", [] { return of(VT_UINT, [](VARIANT& v) { v.uintVal = 7; }); }, 0, S_OK, u"7"},
    {"bool_true", [] { return boolean(VARIANT_TRUE); }, 0, S_OK, u"-1"},
    {"bool_false", [] { return boolean(VARIANT_FALSE); }, 0, S_OK, u"0"},
    {"bool_one", [] { return boolean(1); }, 0, S_OK, u"1"},
    {"alpha_true", [] { return boolean(VARIANT_TRUE); }, VARIANT_ALPHABOOL, S_OK, u"True"},
    {"alpha_false", [] { return boolean(VARIANT_FALSE); }, VARIANT_ALPHABOOL, S_OK, u"False"},
    {"alpha_one", [] { return boolean(1); }, VARIANT_ALPHABOOL, S_OK, u"True"},
    {"r8_half", [] { return real(1.5); }, 0, S_OK, u"1.5"},
    {"r8_tenth", [] { return real(0.1); }, 0, S_OK, u"0.1"},
    {"r8_whole", [] { return real(100.0); }, 0, S_OK, u"100"},
    {"r8_negative", [] { return real(-2.5); }, 0, S_OK, u"-2.5"},
    {"r8_negative_zero", [] { return real(-0.0); }, 0, S_OK, u"0"},
    {"r8_1e20", [] { return real(1e20); }, 0, S_OK, u"1E+20"},
    {"r8_1e15", [] { return real(1e15); }, 0, S_OK, u"1E+15"},
    {"r8_15_nines", [] { return real(999999999999999.0); }, 0, S_OK, u"999999999999999"},
    {"r8_small_written_out", [] { return real(5.6789e-11); }, 0, S_OK, u"0.000000000056789"},
    {"r8_small_exponent", [] { return real(5.6789e-12); }, 0, S_OK, u"5.6789E-12"},
    {"r8_pi", [] { return real(3.141592653589793); }, 0, S_OK, u"3.14159265358979"},
    {"r8_carry", [] { return real(0.9999999999999999); }, 0, S_OK, u"1"},
    {"r8_large", [] { return real(123456789012345678.0); }, 0, S_OK, u"1.23456789012346E+17"},
    {"r8_tiny", [] { return real(1e-300); }, 0, S_OK, u"1E-300"},
    {"r4_half", [] { return single(0.5f); }, 0, S_OK, u"0.5"},
    {"r4_1e8", [] { return single(1e8f); }, 0, S_OK, u"1E+08"},
    {"r4_pi", [] { return single(3.14159265f); }, 0, S_OK, u"3.141593"},
    {"r4_rounded", [] { return single(654322.23456f); }, 0, S_OK, u"654322.3"},
    {"r4_negative_tie", [] { return single(-654322.25f); }, 0, S_OK, u"-654322.3"},
    {"r4_small", [] { return single(0.000005f); }, 0, S_OK, u"0.000005"},
    {"bstr", [] { return of(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(u"abc"); }); }, 0,
     S_OK, u"abc"},
    {"bstr_null", [] { return of(VT_BSTR); }, 0, S_OK, u""},
    {"error", [] { return of(VT_ERROR, [](VARIANT& v) { v.scode = DISP_E_PARAMNOTFOUND; }); }, 0,
     DISP_E_TYPEMISMATCH, u""},
    {"unknown", [] { return of(VT_UNKNOWN); }, 0, DISP_E_TYPEMISMATCH, u""},
    {"dispatch", [] { return of(VT_DISPATCH); }, 0, DISP_E_TYPEMISMATCH, u""},
    {"date", [] { return of(VT_DATE); }, 0, E_NOTIMPL, u""},
    {"cy", [] { return of(VT_CY); }, 0, E_NOTIMPL, u""},
    {"byref_i4", [] { return of(VT_I4 | VT_BYREF, [](VARIANT& v) { v.plVal = &g_long; }); }, 0,
     S_OK, u"42"},
    {"byref_null_bstr",
     [] { return of(VT_BSTR | VT_BYREF, [](VARIANT& v) { v.pbstrVal = &g_null_bstr; }); }, 0, S_OK,
     u""},
    {"byref_variant",
     [] { return of(VT_VARIANT | VT_BYREF, [](VARIANT& v) { v.pvarVal = &g_inner_i2; }); }, 0, S_OK,
     u"-7"},
    {"byref_variant_twice",
     [] { return of(VT_VARIANT | VT_BYREF, [](VARIANT& v) { v.pvarVal = &g_inner_ref; }); }, 0,
     E_INVALIDARG, u""},
    {"byref_null_pointer", [] { return of(VT_I4 | VT_BYREF); }, 0, DISP_E_TYPEMISMATCH, u""},
    {"bad_source_tag", [] { return of(VT_VOID); }, 0, DISP_E_BADVARTYPE, u""},
};

class RuntimeVariantText : public RuntimeVariant, public ::testing::WithParamInterface<TextCase> {};

TEST_P(RuntimeVariantText, ConvertsLikeThePlatform)
{
    const TextCase& c = GetParam();
    VARIANT src = c.source();
    VARIANT dst = of(VT_EMPTY);
    ASSERT_EQ(VariantChangeType(&dst, &src, c.flags, VT_BSTR), c.status);
    if (c.status == S_OK) {
        EXPECT_EQ(dst.vt, VT_BSTR);
        ASSERT_NE(dst.bstrVal, nullptr);
        EXPECT_EQ(text_of(dst), c.text);
        EXPECT_EQ(dst.bstrVal[SysStringLen(dst.bstrVal)], 0);
    } else {
        EXPECT_EQ(dst.vt, VT_EMPTY);
    }
    VariantClear(&dst);
    if (src.vt == VT_BSTR) VariantClear(&src);
}

INSTANTIATE_TEST_SUITE_P(ToText, RuntimeVariantText, ::testing::ValuesIn(kTextCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RuntimeVariant, ConvertsInPlace)
{
    VARIANT v = of(VT_I4, [](VARIANT& x) { x.lVal = -15; });
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(text_of(v), u"-15");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(text_of(v), u"-15");
    EXPECT_EQ(rt::live_strings(), guard().strings_at_start() + 1);
    VariantClear(&v);
}

TEST_F(RuntimeVariant, FailedConversionKeepsTheDestination)
{
    VARIANT src = of(VT_I4, [](VARIANT& v) { v.lVal = 1; });
    VARIANT kept = of(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(u"keep"); });
    rt::fail_allocation_after(1);
    EXPECT_EQ(VariantChangeType(&kept, &src, 0, VT_BSTR), E_OUTOFMEMORY);
    EXPECT_EQ(text_of(kept), u"keep");

    // A destination the platform cannot clear stops the conversion unchanged.
    VARIANT bad = of(0xFF);
    EXPECT_EQ(VariantChangeType(&bad, &src, 0, VT_BSTR), DISP_E_BADVARTYPE);
    EXPECT_EQ(bad.vt, 0xFF);
    VariantClear(&kept);
}

struct TargetCase {
    const char* name;
    VARTYPE from;
    VARTYPE to;
    HRESULT status;
};
void PrintTo(const TargetCase& c, std::ostream* out) { *out << c.name; }  // not its raw bytes

class RuntimeVariantTarget : public RuntimeVariant,
                             public ::testing::WithParamInterface<TargetCase> {};

TEST_P(RuntimeVariantTarget, OtherTargets)
{
    const TargetCase& c = GetParam();
    VARIANT src = of(c.from, [](VARIANT& v) { v.lVal = 9; });
    VARIANT dst = of(VT_EMPTY);
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, c.to), c.status);
    EXPECT_EQ(dst.vt, c.status == S_OK ? c.to : VARTYPE(VT_EMPTY));
    if (c.status == S_OK && (c.to == VT_I4 || c.to == VT_INT)) {
        EXPECT_EQ(dst.lVal, 9);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RuntimeVariantTarget,
    ::testing::Values(TargetCase{"same_type", VT_I4, VT_I4, S_OK},
                      TargetCase{"int_is_i4", VT_I4, VT_INT, S_OK},
                      TargetCase{"to_empty", VT_I4, VT_EMPTY, S_OK},
                      TargetCase{"to_null", VT_I2, VT_NULL, S_OK},
                      TargetCase{"null_to_empty", VT_NULL, VT_EMPTY, DISP_E_TYPEMISMATCH},
                      TargetCase{"error_to_empty", VT_ERROR, VT_EMPTY, DISP_E_TYPEMISMATCH},
                      TargetCase{"numeric", VT_I2, VT_I4, DISP_E_TYPEMISMATCH},
                      TargetCase{"to_variant", VT_I4, VT_VARIANT, DISP_E_TYPEMISMATCH},
                      TargetCase{"to_clsid", VT_I4, 72, DISP_E_BADVARTYPE},
                      TargetCase{"to_unused", VT_I4, 15, DISP_E_BADVARTYPE},
                      TargetCase{"to_void", VT_I4, VT_VOID, DISP_E_BADVARTYPE}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
