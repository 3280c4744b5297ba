// The stand-in's error object and the thread's error object.
#include "runtime/automation.h"
#include "runtime/com_ptr.h"
#include "runtime/fault_injection.h"
#include "runtime/module_state.h"
#include "tests/common/client_support.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

using rt::ComPtr;

class RuntimeErrorInfo : public ::testing::Test {
protected:
    void SetUp() override
    {
        drain();
        strings_ = rt::live_strings();
        objects_ = rt::live_objects();
    }
    void TearDown() override
    {
        drain();
        rt::fail_allocation_after(0);
        EXPECT_EQ(rt::live_strings(), strings_);
        EXPECT_EQ(rt::live_objects(), objects_);
    }
    static void drain()
    {
        IErrorInfo* left = nullptr;
        if (GetErrorInfo(0, &left) == S_OK) left->Release();
    }
    long strings_ = 0;
    long objects_ = 0;
};

using client::refcount;

std::u16string take(BSTR s)
{
    std::u16string text = s ? std::u16string(s, SysStringLen(s)) : u"<null>";
    SysFreeString(s);
    return text;
}

constexpr GUID kGuid = {
    0x89078C47, 0xAB89, 0x11D3, {0xB1, 0xBC, 0x00, 0xC0, 0x4F, 0x79, 0x44, 0x09}};

ComPtr<IErrorInfo> make_error(const OLECHAR* description)
{
    ComPtr<ICreateErrorInfo> create;
    EXPECT_EQ(CreateErrorInfo(create.put()), S_OK);
    create->SetGUID(kGuid);
    create->SetSource(const_cast<LPOLESTR>(u"Orvanta.Source"));
    create->SetDescription(const_cast<LPOLESTR>(description));
    create->SetHelpContext(77);
    ComPtr<IErrorInfo> info;
    EXPECT_EQ(create->QueryInterface(IID_IErrorInfo, info.put_void()), S_OK);
    return info;
}

TEST_F(RuntimeErrorInfo, FieldsRoundTrip)
{
    ComPtr<IErrorInfo> info = make_error(u"Item failed");
    GUID guid{};
    EXPECT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, kGuid);
    BSTR s = nullptr;
    EXPECT_EQ(info->GetSource(&s), S_OK);
    EXPECT_EQ(take(s), u"Orvanta.Source");
    EXPECT_EQ(info->GetDescription(&s), S_OK);
    EXPECT_EQ(take(s), u"Item failed");
    EXPECT_EQ(info->GetHelpFile(&s), S_OK);
    EXPECT_EQ(take(s), u"<null>");  // never set
    DWORD context = 0;
    EXPECT_EQ(info->GetHelpContext(&context), S_OK);
    EXPECT_EQ(context, 77u);
}

TEST_F(RuntimeErrorInfo, EmptyTextIsNotNullText)
{
    ComPtr<IErrorInfo> info = make_error(u"");
    BSTR s = nullptr;
    EXPECT_EQ(info->GetDescription(&s), S_OK);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 0u);
    SysFreeString(s);
}

TEST_F(RuntimeErrorInfo, InterfacesShareOneIdentity)
{
    ComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(CreateErrorInfo(create.put()), S_OK);
    ComPtr<IUnknown> a, b;
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(create->QueryInterface(IID_IUnknown, a.put_void()), S_OK);
    ASSERT_EQ(create->QueryInterface(IID_ISupportErrorInfo, support.put_void()), S_OK);
    ASSERT_EQ(support->QueryInterface(IID_IUnknown, b.put_void()), S_OK);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(refcount(a.get()), 4u);

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(create->QueryInterface(IID_IDispatch, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    create->SetGUID(kGuid);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(kGuid), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
}

TEST_F(RuntimeErrorInfo, GetHandsOverTheSlotAndEmptiesIt)
{
    ComPtr<IErrorInfo> info = make_error(u"x");
    ASSERT_EQ(SetErrorInfo(0, info.get()), S_OK);
    EXPECT_EQ(refcount(info.get()), 2u);

    IErrorInfo* got = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
    EXPECT_EQ(got, info.get());
    EXPECT_EQ(refcount(info.get()), 2u);  // the thread's reference, now ours
    got->Release();

    got = reinterpret_cast<IErrorInfo*>(1);
    EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);
    EXPECT_EQ(got, nullptr);
}

TEST_F(RuntimeErrorInfo, SetReplacesAndReleasesThePrevious)
{
    ComPtr<IErrorInfo> first = make_error(u"1");
    ComPtr<IErrorInfo> second = make_error(u"2");
    SetErrorInfo(0, first.get());
    SetErrorInfo(0, first.get());  // same object again: still one reference of the thread's
    EXPECT_EQ(refcount(first.get()), 2u);
    SetErrorInfo(0, second.get());
    EXPECT_EQ(refcount(first.get()), 1u);
    EXPECT_EQ(refcount(second.get()), 2u);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(refcount(second.get()), 1u);
}

TEST_F(RuntimeErrorInfo, ArgumentsThePlatformRefuses)
{
    IErrorInfo* got = nullptr;
    EXPECT_EQ(GetErrorInfo(1, &got), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
    EXPECT_EQ(CreateErrorInfo(nullptr), E_INVALIDARG);
}

TEST_F(RuntimeErrorInfo, SlotBelongsToItsThreadAndDiesWithIt)
{
    ComPtr<IErrorInfo> info = make_error(u"x");
    HRESULT elsewhere = S_OK;
    std::thread([&] {
        IErrorInfo* got = nullptr;
        elsewhere = GetErrorInfo(0, &got);
        SetErrorInfo(0, info.get());
    }).join();
    EXPECT_EQ(elsewhere, S_FALSE);
    EXPECT_EQ(refcount(info.get()), 1u);  // released when that thread ended
}

TEST_F(RuntimeErrorInfo, StandsApartFromTheModulesCountsAndHook)
{
    rt::fail_allocation_after(1);
    ComPtr<IErrorInfo> info = make_error(u"kept outside the string heap");
    EXPECT_EQ(rt::allocations_seen(), 0);
    EXPECT_EQ(rt::live_objects(), objects_);
    SetErrorInfo(0, info.get());
    EXPECT_EQ(rt::live_strings(), strings_);

    BSTR s = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(info->GetDescription(&s), E_OUTOFMEMORY);  // the copy is a real string
    EXPECT_EQ(s, nullptr);
}

}  // namespace
