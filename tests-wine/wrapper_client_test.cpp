// An early-bound client written as users of the compiler's COM support
// write one (comdef.h): a smart pointer made from the class identifier,
// strings in _bstr_t, and every failure thrown as _com_error carrying the
// object's error description, found through ISupportErrorInfo.
#include "wine_support.h"

#include <comdef.h>

__CRT_UUID_DECL(IServer, 0x89078C47, 0xAB89, 0x11D3, 0xB1, 0xBC, 0x00, 0xC0, 0x4F, 0x79, 0x44, 0x09)
_COM_SMARTPTR_TYPEDEF(IServer, __uuidof(IServer));

// mingw-w64 declares this in comdef.h but ships no library that defines it
// (the compiler support library of other toolchains does): a client
// supplies it. The error object counts only when the object vouches for the
// interface that failed.
void WINAPI _com_issue_errorex(HRESULT hr, IUnknown* object, REFIID iid)
{
    IErrorInfo* info = nullptr;
    ISupportErrorInfo* support = nullptr;
    if (object && SUCCEEDED(object->QueryInterface(IID_ISupportErrorInfo,
                                                   reinterpret_cast<void**>(&support)))) {
        if (support->InterfaceSupportsErrorInfo(iid) == S_OK && GetErrorInfo(0, &info) != S_OK)
            info = nullptr;
        support->Release();
    }
    _com_raise_error(hr, info);  // takes over the error object
}

using namespace wt;

namespace {

// The wrapper functions a type-library import would generate: results as
// return values, a failure status as an exception.
class Server {
public:
    explicit Server(const IServerPtr& p) : p_(p) {}
    _bstr_t Name()
    {
        BSTR r = nullptr;
        check(p_->get_Name(&r));
        return _bstr_t(r, false);
    }
    long GetMaximumLimit(_bstr_t component, VARIANT_BOOL* family_total)
    {
        LONG r = 0;
        check(p_->GetMaximumLimit(&component.GetBSTR(), family_total, &r));
        return r;
    }

private:
    void check(HRESULT hr)
    {
        if (FAILED(hr)) _com_issue_errorex(hr, p_, __uuidof(IServer));
    }
    IServerPtr p_;
};

class WrapperClient : public ModuleTest {};

TEST_F(WrapperClient, AnswersAndFailuresReachTheWrapper)
{
    IServerPtr object(expected::kClsid);
    ASSERT_TRUE(object);
    Server server(object);
    EXPECT_EQ(text_of(server.Name()), as_text(expected::kName));
    const expected::LimitRow& row = expected::kLimitRows[0];
    VARIANT_BOOL family_total = VARIANT_FALSE;
    EXPECT_EQ(server.GetMaximumLimit(_bstr_t(as_text(row.guid).c_str()), &family_total),
              row.maximum);
    EXPECT_EQ(family_total, row.family_total ? VARIANT_TRUE : VARIANT_FALSE);

    bool thrown = false;
    try {
        server.GetMaximumLimit(_bstr_t(L"{E2657B80-7F5B-11D2-BF88-00C04F79999C}"), nullptr);
    } catch (const _com_error& e) {
        thrown = true;
        EXPECT_EQ(e.Error(), E_POINTER) << hex(e.Error());
        EXPECT_EQ(text_of(e.Description()),
                  L"IServer.GetMaximumLimit (vtable index 14) failed with status 0x80004003");
        EXPECT_EQ(text_of(e.Source()), L"TivOrvantaZNA100.CTivOrvantaZNA100");
    }
    EXPECT_TRUE(thrown) << "no _com_error";
    EXPECT_EQ(refcount(object), 2u) << "the wrapper's and the smart pointer's";
}

}  // namespace
