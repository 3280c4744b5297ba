// Late binding on both faces, as a script or an automation controller does
// it: names to member identifiers, then Invoke. The IServer face answers the
// nine members; the default face has no member at all.
#include "wine_support.h"

using namespace wt;

namespace {

class LateBinding : public ServerTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ServerTest::SetUp());
        ASSERT_EQ(server_->QueryInterface(IID_IDispatch, default_face_.put_void()), S_OK);
    }
    void TearDown() override
    {
        default_face_.reset();
        ServerTest::TearDown();
    }

    Ref<IDispatch> default_face_;  // IDispatch = _CTivOrvantaZNA100
};

TEST_F(LateBinding, ServerFaceNamesGiveIdentifiersOneToNine)
{
    for (UINT i = 0; i < 9; ++i) {
        const wchar_t* name = as_ole(expected::kServerMembers[i].name);
        SCOPED_TRACE(printable(name));
        HRESULT hr = E_FAIL;
        EXPECT_EQ(id_of_name(server_.get(), name, &hr), static_cast<DISPID>(i + 1));
        EXPECT_EQ(hr, S_OK);

        // Other letter cases name the same member.
        std::wstring lower = name;
        std::wstring upper = name;
        for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
        for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
        EXPECT_EQ(id_of_name(server_.get(), lower.c_str(), &hr), static_cast<DISPID>(i + 1));
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(id_of_name(server_.get(), upper.c_str(), &hr), static_cast<DISPID>(i + 1));
        EXPECT_EQ(hr, S_OK);
    }
    for (const wchar_t* unknown :
         {L"Nothing", L"Item", L"Count", L"Name2", L"", L"QueryInterface"}) {
        HRESULT hr = S_OK;
        EXPECT_EQ(id_of_name(server_.get(), unknown, &hr), DISPID_UNKNOWN) << printable(unknown);
        EXPECT_EQ(hr, DISP_E_UNKNOWNNAME) << printable(unknown);
    }
}

TEST_F(LateBinding, ServerFacePropertiesAndTextMethods)
{
    for (const TextMemberCall& m : kTextMemberCalls) {
        SCOPED_TRACE("member " + std::to_string(m.id) + ", flags " + std::to_string(m.flags));
        CallResult r;
        invoke(server_.get(), m.id, m.flags, {}, r);
        ASSERT_EQ(r.status, S_OK) << hex(r.status);
        ASSERT_EQ(r.result->vt, VT_BSTR);
        EXPECT_EQ(text_of(r.result->bstrVal), as_text(m.text));
    }
}

TEST_F(LateBinding, ServerFaceDefaultComponents)
{
    CallResult r;
    invoke(server_.get(), 5, DISPATCH_METHOD, {}, r);
    ASSERT_EQ(r.status, S_OK) << hex(r.status);
    ASSERT_EQ(r.result->vt, VT_DISPATCH);
    ASSERT_NE(r.result->pdispVal, nullptr);
    EXPECT_EQ(refcount(r.result->pdispVal), 1u) << "the result holds the only reference";
    Ref<_Collection> list;
    ASSERT_EQ(r.result->pdispVal->QueryInterface(expected::kCollectionIid, list.put_void()), S_OK);
    EXPECT_EQ(items_by_position(list.get()), expected_catalogue());
}

TEST_F(LateBinding, ServerFaceAttachmentMembers)
{
    Bstr parent(expected::kCatalogue[0]);
    Bstr attachment(expected::kCatalogue[1]);
    {
        CallResult r;
        invoke(server_.get(), 6, DISPATCH_METHOD,
               {string_value(parent.get()), string_value(attachment.get())}, r);
        ASSERT_EQ(r.status, S_OK) << hex(r.status);
        ASSERT_EQ(r.result->vt, VT_I4);
        EXPECT_EQ(r.result->lVal, expected::kAttachNoList);
    }
    {
        // Arguments by reference, as a script passes its variables.
        BSTR p = parent.get();
        BSTR a = attachment.get();
        CallResult r;
        invoke(server_.get(), 6, DISPATCH_METHOD, {string_reference(&p), string_reference(&a)}, r);
        ASSERT_EQ(r.status, S_OK) << hex(r.status);
        ASSERT_EQ(r.result->vt, VT_I4);
        EXPECT_EQ(r.result->lVal, expected::kAttachNoList);
        EXPECT_EQ(p, parent.get());
        EXPECT_EQ(a, attachment.get());
    }
    {
        CallResult r;
        invoke(server_.get(), 7, DISPATCH_METHOD, {string_value(parent.get())}, r);
        ASSERT_EQ(r.status, S_OK) << hex(r.status);
        // No list: the null object reference.
        EXPECT_EQ(r.result->vt, VT_DISPATCH);
        EXPECT_EQ(r.result->pdispVal, nullptr);
    }
}

TEST_F(LateBinding, ServerFaceGetMaximumLimitWritesFamilyTotalBack)
{
    for (const expected::LimitRow& row : expected::kLimitRows) {
        SCOPED_TRACE(printable(row.guid));
        Bstr guid(row.guid);
        VARIANT_BOOL family_total = row.family_total ? VARIANT_FALSE : VARIANT_TRUE;
        CallResult r;
        invoke(server_.get(), 8, DISPATCH_METHOD,
               {string_value(guid.get()), bool_reference(&family_total)}, r);
        ASSERT_EQ(r.status, S_OK) << hex(r.status);
        ASSERT_EQ(r.result->vt, VT_I4);
        EXPECT_EQ(r.result->lVal, row.maximum);
        EXPECT_EQ(family_total, row.family_total ? VARIANT_TRUE : VARIANT_FALSE);
    }
    Bstr unknown(L"{e2657b80-7f5b-11d2-bf88-00c04f79999c}");
    VARIANT_BOOL family_total = VARIANT_TRUE;
    CallResult r;
    invoke(server_.get(), 8, DISPATCH_METHOD,
           {string_value(unknown.get()), bool_reference(&family_total)}, r);
    ASSERT_EQ(r.status, S_OK) << hex(r.status);
    ASSERT_EQ(r.result->vt, VT_I4);
    EXPECT_EQ(r.result->lVal, -1);
    EXPECT_EQ(family_total, VARIANT_FALSE);
}

TEST_F(LateBinding, ServerFaceRefusesWhatItDoesNotOffer)
{
    for (DISPID id : {DISPID(0), DISPID(10), DISPID(-4), DISPID(100)}) {
        CallResult r;
        invoke(server_.get(), id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, r);
        EXPECT_EQ(r.status, DISP_E_MEMBERNOTFOUND) << id << " " << hex(r.status);
    }
    {
        CallResult r;  // a property cannot be written
        invoke(server_.get(), 1, DISPATCH_PROPERTYPUT, {}, r);
        EXPECT_TRUE(FAILED(r.status)) << hex(r.status);
    }
    {
        Bstr extra(L"x");
        CallResult r;  // one argument too many
        invoke(server_.get(), 9, DISPATCH_METHOD, {string_value(extra.get())}, r);
        EXPECT_EQ(r.status, DISP_E_BADPARAMCOUNT) << hex(r.status);
    }
    {
        CallResult r;  // one argument too few
        invoke(server_.get(), 8, DISPATCH_METHOD, {}, r);
        EXPECT_EQ(r.status, DISP_E_BADPARAMCOUNT) << hex(r.status);
    }
    {
        CallResult r;
        DISPPARAMS none{};
        r.status = server_->Invoke(1, expected::kServerIid, 0, DISPATCH_PROPERTYGET, &none,
                                   r.result.put(), &r.exception, &r.argument_error);
        EXPECT_EQ(r.status, DISP_E_UNKNOWNINTERFACE) << hex(r.status);
    }
}

TEST_F(LateBinding, DefaultFaceHasNoMembers)
{
    for (UINT i = 0; i < 9; ++i) {
        const wchar_t* name = as_ole(expected::kServerMembers[i].name);
        HRESULT hr = S_OK;
        EXPECT_EQ(id_of_name(default_face_.get(), name, &hr), DISPID_UNKNOWN) << printable(name);
        EXPECT_EQ(hr, DISP_E_UNKNOWNNAME) << printable(name);
    }
    for (DISPID id : {DISPID(1), DISPID(4), DISPID(9), DISPID(0), DISPID(-4)}) {
        for (WORD flags : {WORD(DISPATCH_METHOD), WORD(DISPATCH_PROPERTYGET),
                           WORD(DISPATCH_METHOD | DISPATCH_PROPERTYGET)}) {
            CallResult r;
            invoke(default_face_.get(), id, flags, {}, r);
            EXPECT_EQ(r.status, DISP_E_MEMBERNOTFOUND) << id << " " << hex(r.status);
            EXPECT_EQ(r.result->vt, VT_EMPTY);
        }
    }
}

TEST_F(LateBinding, DefaultFaceSeveralNamesAtOnce)
{
    std::wstring a = L"Name";
    std::wstring b = L"ComponentGUID";
    LPOLESTR names[2] = {a.data(), b.data()};
    DISPID ids[2] = {12345, 12345};
    EXPECT_EQ(default_face_->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
}

}  // namespace
