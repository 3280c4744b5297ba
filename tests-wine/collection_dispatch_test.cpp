// The collections the class hands out, read through their IDispatch as a
// script does: GetIDsOfNames and Invoke for Count, Item and _NewEnum.
#include "wine_support.h"

using namespace wt;

namespace {

class CollectionDispatch : public ServerTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ServerTest::SetUp());
        Ref<_Collection> list;
        ASSERT_EQ(server_->DefaultComponents(list.put()), S_OK);
        ASSERT_TRUE(list);
        ASSERT_EQ(list->QueryInterface(IID_IDispatch, dispatch_.put_void()), S_OK);
        list.reset();
        ASSERT_EQ(refcount(dispatch_.get()), 1u);
    }
    void TearDown() override
    {
        if (dispatch_) {
            EXPECT_EQ(refcount(dispatch_.get()), 1u);
        }
        dispatch_.reset();
        ServerTest::TearDown();
    }

    DISPID id(const wchar_t* name)
    {
        HRESULT hr = E_FAIL;
        const DISPID id = id_of_name(dispatch_.get(), name, &hr);
        EXPECT_EQ(hr, S_OK) << printable(name);
        return id;
    }

    Ref<IDispatch> dispatch_;
};

TEST_F(CollectionDispatch, NamesOfTheMembers)
{
    EXPECT_EQ(id(L"Item"), DISPID_VALUE);
    EXPECT_EQ(id(L"_NewEnum"), DISPID_NEWENUM);
    const DISPID count = id(L"Count");
    EXPECT_NE(count, DISPID_UNKNOWN);
    EXPECT_NE(count, DISPID_VALUE);
    EXPECT_NE(count, DISPID_NEWENUM);
    // Late-bound names are found without regard to letter case.
    EXPECT_EQ(id(L"count"), count);
    EXPECT_EQ(id(L"ITEM"), DISPID_VALUE);

    HRESULT hr = S_OK;
    const DISPID unknown = id_of_name(dispatch_.get(), L"Nothing", &hr);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
    EXPECT_EQ(unknown, DISPID_UNKNOWN);
}

TEST_F(CollectionDispatch, CountIsNinetySix)
{
    const DISPID count = id(L"Count");
    for (WORD flags : {WORD(DISPATCH_PROPERTYGET), WORD(DISPATCH_METHOD | DISPATCH_PROPERTYGET)}) {
        CallResult r;
        invoke(dispatch_.get(), count, flags, {}, r);
        ASSERT_EQ(r.status, S_OK) << hex(r.status);
        EXPECT_EQ(r.result->vt, VT_I4);
        EXPECT_EQ(r.result->lVal, 96);
    }
}

TEST_F(CollectionDispatch, EveryItemByPositionAndByKey)
{
    const std::vector<std::wstring> want = expected_catalogue();
    for (LONG i = 1; i <= 96; ++i) {
        SCOPED_TRACE(i);
        CallResult by_position;
        invoke(dispatch_.get(), DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
               {long_value(i)}, by_position);
        ASSERT_EQ(by_position.status, S_OK) << hex(by_position.status);
        ASSERT_EQ(by_position.result->vt, VT_BSTR);
        EXPECT_EQ(text_of(by_position.result->bstrVal), want[i - 1]);

        Bstr key(want[i - 1]);
        CallResult by_key;
        invoke(dispatch_.get(), DISPID_VALUE, DISPATCH_PROPERTYGET, {string_value(key.get())},
               by_key);
        ASSERT_EQ(by_key.status, S_OK) << hex(by_key.status);
        ASSERT_EQ(by_key.result->vt, VT_BSTR);
        EXPECT_EQ(text_of(by_key.result->bstrVal), want[i - 1]);
    }
}

TEST_F(CollectionDispatch, AnIndexPassedByReference)
{
    // Script engines pass variables by reference.
    VARIANT position = long_value(3);
    VARIANT by_reference = variant_reference(&position);
    CallResult r;
    invoke(dispatch_.get(), DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {by_reference},
           r);
    ASSERT_EQ(r.status, S_OK) << hex(r.status);
    ASSERT_EQ(r.result->vt, VT_BSTR);
    EXPECT_EQ(text_of(r.result->bstrVal), as_text(expected::kCatalogue[2]));

    Bstr key(expected::kCatalogue[4]);
    BSTR key_variable = key.get();
    CallResult by_key;
    invoke(dispatch_.get(), DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
           {string_reference(&key_variable)}, by_key);
    ASSERT_EQ(by_key.status, S_OK) << hex(by_key.status);
    ASSERT_EQ(by_key.result->vt, VT_BSTR);
    EXPECT_EQ(text_of(by_key.result->bstrVal), as_text(expected::kCatalogue[4]));
    EXPECT_EQ(key_variable, key.get());
}

TEST_F(CollectionDispatch, AMissingElementIsReportedAsAnException)
{
    struct Case {
        const char* what;
        VARIANT index;
        HRESULT code;
    };
    Bstr unknown_key(L"{00000000-0000-0000-0000-000000000000}");
    const Case cases[] = {
        {"position 0", long_value(0), static_cast<HRESULT>(0x800A0009)},
        {"position 97", long_value(97), static_cast<HRESULT>(0x800A0009)},
        {"unknown key", string_value(unknown_key.get()), static_cast<HRESULT>(0x800A0005)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CallResult r;
        invoke(dispatch_.get(), DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {c.index}, r);
        EXPECT_EQ(r.status, DISP_E_EXCEPTION) << hex(r.status);
        EXPECT_EQ(r.exception.scode, c.code) << hex(r.exception.scode);
        EXPECT_EQ(r.result->vt, VT_EMPTY);
    }
}

TEST_F(CollectionDispatch, NewEnumGivesAnEnumeratorOfAllEntries)
{
    CallResult r;
    invoke(dispatch_.get(), DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, r);
    ASSERT_EQ(r.status, S_OK) << hex(r.status);
    ASSERT_TRUE(r.result->vt == VT_UNKNOWN || r.result->vt == VT_DISPATCH) << r.result->vt;
    IUnknown* unknown = r.result->punkVal;
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(refcount(unknown), 1u) << "the variant holds the only reference";
    EXPECT_EQ(refcount(dispatch_.get()), 2u) << "the enumerator holds its collection";

    Ref<IEnumVARIANT> items;
    ASSERT_EQ(unknown->QueryInterface(IID_IEnumVARIANT, items.put_void()), S_OK);
    std::vector<std::wstring> got;
    for (;;) {
        Variant value;
        ULONG fetched = 0;
        if (items->Next(1, value.put(), &fetched) != S_OK) break;
        ASSERT_EQ(value->vt, VT_BSTR);
        got.push_back(text_of(value->bstrVal));
    }
    EXPECT_EQ(got, expected_catalogue());
    items.reset();
    VariantClear(r.result.get());
    EXPECT_EQ(refcount(dispatch_.get()), 1u);
}

}  // namespace
