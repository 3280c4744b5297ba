// The collection as a script client sees it: names, late-bound calls with
// arguments last first, and collection errors raised through EXCEPINFO.
#include "test_support.h"

#include <string>
#include <vector>

namespace {

using Text = std::basic_string<OLECHAR>;

using testing_support::refcount;

VARIANT arg(VARTYPE vt, LONG n = 0)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.lVal = n;
    return v;
}

class CollectionDispatchTest : public testing_support::NewCollectionTest {
protected:
    void TearDown() override
    {
        for (BSTR s : owned_) SysFreeString(s);
        NewCollectionTest::TearDown();
    }

    VARIANT text(const OLECHAR* s)
    {
        VARIANT v = arg(VT_BSTR);
        owned_.push_back(v.bstrVal = SysAllocString(s));
        return v;
    }
    // Arguments in call order; they reach Invoke last first, as clients pass them.
    HRESULT call(DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result = nullptr,
                 EXCEPINFO* info = nullptr, UINT* bad_arg = nullptr, const IID& riid = IID_NULL)
    {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        return c->Invoke(id, riid, LOCALE_USER_DEFAULT, flags, &params, result, info, bad_arg);
    }

    std::vector<BSTR> owned_;
};

TEST_F(CollectionDispatchTest, HasNoTypeInformation)
{
    UINT n = 7;
    EXPECT_EQ(c->GetTypeInfoCount(&n), S_OK);
    EXPECT_EQ(n, 0u);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&n);
    EXPECT_EQ(c->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(c->GetTypeInfoCount(nullptr), E_POINTER);
}

TEST_F(CollectionDispatchTest, NamesTheFiveMembersInAnyCase)
{
    const struct {
        std::vector<const OLECHAR*> names;
        HRESULT hr;
        std::vector<DISPID> ids;
    } cases[] = {{{OLESTR("Item")}, S_OK, {DISPID_VALUE}},
                 {{OLESTR("ADD")}, S_OK, {1}},
                 {{OLESTR("count")}, S_OK, {2}},
                 {{OLESTR("ReMoVe")}, S_OK, {3}},
                 {{OLESTR("_newenum")}, S_OK, {DISPID_NEWENUM}},
                 {{OLESTR("Items")}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
                 {{OLESTR("")}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
                 {{OLESTR("Add"), OLESTR("Key")}, DISP_E_UNKNOWNNAME, {1, DISPID_UNKNOWN}}};
    for (const auto& k : cases) {
        std::vector<LPOLESTR> names;
        for (const OLECHAR* s : k.names) names.push_back(const_cast<LPOLESTR>(s));
        std::vector<DISPID> ids(names.size(), 99);
        EXPECT_EQ(c->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()),
                                   LOCALE_USER_DEFAULT, ids.data()),
                  k.hr);
        EXPECT_EQ(ids, k.ids);
    }
    LPOLESTR item = const_cast<LPOLESTR>(OLESTR("Item"));
    DISPID id = 99;
    EXPECT_EQ(c->GetIDsOfNames(IID_IDispatch, &item, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(CollectionDispatchTest, ScriptStyleCallsReachTheOperations)
{
    const VARIANT missing = rt::missing_argument(), empty = arg(VT_EMPTY);
    VARIANT one = arg(VT_I4, 1);
    ASSERT_EQ(call(1, DISPATCH_METHOD, {text(OLESTR("a"))}), S_OK);
    ASSERT_EQ(call(1, DISPATCH_METHOD, {text(OLESTR("b")), text(OLESTR("kb"))}), S_OK);
    ASSERT_EQ(call(1, DISPATCH_METHOD, {text(OLESTR("c")), missing, missing, one}), S_OK);
    ASSERT_EQ(call(1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {text(OLESTR("d")), empty, one}),
              S_OK);
    EXPECT_EQ(refcount(c.get()), 1u);

    VARIANT result = arg(VT_I4, 5);
    const struct {
        DISPID id;
        WORD flags;
        std::vector<VARIANT> args;
        Text text;
    } reads[] = {
        {DISPID_VALUE, DISPATCH_METHOD, {arg(VT_I4, 1)}, OLESTR("d")},
        {DISPID_VALUE, DISPATCH_PROPERTYGET, {text(OLESTR("KB"))}, OLESTR("b")},
        {0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {arg(VT_BYREF | VT_VARIANT)}, OLESTR("c")}};
    for (auto k : reads) {
        VARIANT three = arg(VT_I4, 3);
        if (k.args[0].vt == (VT_BYREF | VT_VARIANT)) k.args[0].pvarVal = &three;
        ASSERT_EQ(call(k.id, k.flags, k.args, &result), S_OK);
        ASSERT_EQ(result.vt, VT_BSTR);
        EXPECT_EQ(Text(result.bstrVal), k.text);
        VariantClear(&result);
    }
    for (WORD flags : {DISPATCH_PROPERTYGET, DISPATCH_METHOD}) {
        ASSERT_EQ(call(2, flags, {}, &result), S_OK);
        EXPECT_EQ(result.vt, VT_I4);
        EXPECT_EQ(result.lVal, 4);
        ASSERT_EQ(call(DISPID_NEWENUM, flags, {}, &result), S_OK);
        ASSERT_EQ(result.vt, VT_UNKNOWN);
        EXPECT_EQ(refcount(c.get()), 2u);
        rt::ComPtr<IEnumVARIANT> e;
        EXPECT_EQ(result.punkVal->QueryInterface(IID_IEnumVARIANT, e.put_void()), S_OK);
        VariantClear(&result);
    }
    ASSERT_EQ(call(3, DISPATCH_METHOD, {text(OLESTR("kB"))}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_EMPTY);
    ASSERT_EQ(call(DISPID_VALUE, DISPATCH_METHOD, {arg(VT_I4, 3)}, nullptr),
              S_OK);  // result dropped
    EXPECT_EQ(refcount(c.get()), 1u);
}

TEST_F(CollectionDispatchTest, RefusesMisshapenCalls)
{
    ASSERT_EQ(call(1, DISPATCH_METHOD, {text(OLESTR("a"))}), S_OK);
    const VARIANT one = arg(VT_I4, 1), missing = rt::missing_argument();
    const struct {
        DISPID id;
        WORD flags;
        std::vector<VARIANT> args;
        HRESULT hr;
    } cases[] = {{0, DISPATCH_METHOD, {}, DISP_E_BADPARAMCOUNT},
                 {0, DISPATCH_METHOD, {one, one}, DISP_E_BADPARAMCOUNT},
                 {1, DISPATCH_METHOD, {}, DISP_E_BADPARAMCOUNT},
                 {1, DISPATCH_METHOD, {one, one, one, one, one}, DISP_E_BADPARAMCOUNT},
                 {2, DISPATCH_PROPERTYGET, {one}, DISP_E_BADPARAMCOUNT},
                 {DISPID_NEWENUM, DISPATCH_METHOD, {one}, DISP_E_BADPARAMCOUNT},
                 {3, DISPATCH_METHOD, {}, DISP_E_BADPARAMCOUNT},
                 {1, DISPATCH_PROPERTYGET, {one}, DISP_E_MEMBERNOTFOUND},
                 {3, DISPATCH_PROPERTYGET, {one}, DISP_E_MEMBERNOTFOUND},
                 {0, DISPATCH_PROPERTYPUT, {one, one}, DISP_E_MEMBERNOTFOUND},
                 {4, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND},
                 {DISPID_UNKNOWN, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND},
                 {0, DISPATCH_METHOD, {missing}, DISP_E_PARAMNOTOPTIONAL},
                 {1, DISPATCH_METHOD, {missing, one}, DISP_E_PARAMNOTOPTIONAL}};
    for (const auto& k : cases) {
        UINT bad = 99;
        EXPECT_EQ(call(k.id, k.flags, k.args, nullptr, nullptr, &bad), k.hr) << &k - cases;
        EXPECT_EQ(bad, k.hr == DISP_E_PARAMNOTOPTIONAL ? k.args.size() - 1 : 99u) << &k - cases;
    }
    EXPECT_EQ(call(2, DISPATCH_METHOD, {}, nullptr, nullptr, nullptr, IID_IDispatch),
              DISP_E_UNKNOWNINTERFACE);
    DISPID named = 0;
    VARIANT a = arg(VT_I4, 1);
    DISPPARAMS with_name = {&a, &named, 1, 1};
    EXPECT_EQ(c->Invoke(0, IID_NULL, 0, DISPATCH_METHOD, &with_name, nullptr, nullptr, nullptr),
              DISP_E_NONAMEDARGS);
    EXPECT_EQ(refcount(c.get()), 1u);
}

TEST_F(CollectionDispatchTest, RaisesCollectionErrorsThroughExcepinfo)
{
    ASSERT_EQ(call(1, DISPATCH_METHOD, {text(OLESTR("a")), text(OLESTR("k"))}), S_OK);
    const struct {
        DISPID id;
        std::vector<VARIANT> args;
        HRESULT code;
        const OLECHAR* description;
    } cases[] = {{0,
                  {text(OLESTR("nope"))},
                  rt::kCollInvalidArgument,
                  OLESTR("Invalid procedure call or argument")},
                 {3, {arg(VT_I4, 2)}, rt::kCollOutOfRange, OLESTR("Subscript out of range")},
                 {0, {arg(VT_NULL)}, rt::kCollTypeMismatch, OLESTR("Type mismatch")},
                 {1,
                  {arg(VT_I4, 1), text(OLESTR("K"))},
                  rt::kCollDuplicateKey,
                  OLESTR("This key is already associated with an element of this collection")}};
    for (const auto& k : cases) {
        EXCEPINFO info;
        VARIANT result = arg(VT_I4, 5);
        EXPECT_EQ(call(k.id, DISPATCH_METHOD, k.args, &result, &info), DISP_E_EXCEPTION);
        EXPECT_EQ(result.vt, VT_EMPTY);
        EXPECT_EQ(info.scode, k.code);
        EXPECT_EQ(info.wCode, 0);
        EXPECT_EQ(Text(info.bstrSource), OLESTR("Collection"));
        EXPECT_EQ(Text(info.bstrDescription), k.description);
        EXPECT_EQ(info.bstrHelpFile, nullptr);
        SysFreeString(info.bstrSource), SysFreeString(info.bstrDescription);
        // Without an EXCEPINFO the code itself comes back.
        EXPECT_EQ(call(k.id, DISPATCH_METHOD, k.args), k.code);
    }
    // Texts that cannot be allocated leave the code to speak alone.
    EXCEPINFO info;
    rt::fail_allocation_after(1);
    EXPECT_EQ(call(0, DISPATCH_METHOD, {arg(VT_I4, 9)}, nullptr, &info), DISP_E_EXCEPTION);
    EXPECT_EQ(info.scode, rt::kCollOutOfRange);
    EXPECT_EQ(info.bstrSource, nullptr);
    SysFreeString(info.bstrDescription);
    EXPECT_EQ(refcount(c.get()), 1u);
}

}  // namespace
