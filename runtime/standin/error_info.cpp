// The platform's error object and the thread's error object that carries it
// from a failing operation to its caller.
//
// The object stands for the platform's own: it is not one of the module's
// objects, so it neither counts in rt::live_objects nor consults the fault
// hook when it is created. Its texts are kept outside the automation string
// heap so that an error object parked as a thread's error object never shows up as a
// leaked string; only the copies handed out by the getters are BSTRs.
#include "runtime/standin/oaidl.h"

#include <atomic>
#include <new>
#include <optional>
#include <string>

namespace {

// An unset text and an empty one differ: the getters give null for the first.
using Text = std::optional<std::u16string>;

class ErrorObject final : public IErrorInfo, public ICreateErrorInfo, public ISupportErrorInfo {
public:
    // IUnknown, shared by the three interfaces.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo)
            *out = static_cast<IErrorInfo*>(this);
        else if (riid == IID_ICreateErrorInfo)
            *out = static_cast<ICreateErrorInfo*>(this);
        else if (riid == IID_ISupportErrorInfo)
            *out = static_cast<ISupportErrorInfo*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // IErrorInfo
    HRESULT STDMETHODCALLTYPE GetGUID(GUID* out) override
    {
        if (!out) return E_INVALIDARG;
        *out = guid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) override { return hand_out(source_, out); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) override
    {
        return hand_out(description_, out);
    }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* out) override { return hand_out(help_file_, out); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* out) override
    {
        if (!out) return E_INVALIDARG;
        *out = help_context_;
        return S_OK;
    }

    // ICreateErrorInfo
    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) override
    {
        guid_ = guid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return keep(source_, text); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override
    {
        return keep(description_, text);
    }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return keep(help_file_, text); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override
    {
        help_context_ = context;
        return S_OK;
    }

    // ISupportErrorInfo: the platform's object vouches only for its own GUID.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override
    {
        return riid == guid_ ? S_OK : S_FALSE;
    }

private:
    static HRESULT keep(Text& field, const OLECHAR* text) noexcept
    {
        try {
            if (text)
                field.emplace(text);
            else
                field.reset();
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    static HRESULT hand_out(const Text& field, BSTR* out) noexcept
    {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (!field) return S_OK;
        *out = SysAllocStringLen(field->data(), static_cast<UINT>(field->size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    std::atomic<ULONG> refs_{1};
    GUID guid_{};
    Text source_;
    Text description_;
    Text help_file_;
    DWORD help_context_ = 0;
};

// The thread's error object; whatever is left is released when the thread ends.
struct ThreadErrorObject {
    IErrorInfo* info = nullptr;
    ~ThreadErrorObject()
    {
        if (info) info->Release();
    }
};

thread_local ThreadErrorObject t_error_object;

}  // namespace

WINOLEAUTAPI CreateErrorInfo(ICreateErrorInfo** pperrinfo)
{
    if (!pperrinfo) return E_INVALIDARG;
    auto* object = new (std::nothrow) ErrorObject;
    *pperrinfo = object;
    return object ? S_OK : E_OUTOFMEMORY;
}

WINOLEAUTAPI SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo)
{
    if (dwReserved != 0) return E_INVALIDARG;
    // Reference the new object before letting go of the old: they may be one.
    if (perrinfo) perrinfo->AddRef();
    IErrorInfo* previous = t_error_object.info;
    t_error_object.info = perrinfo;
    if (previous) previous->Release();
    return S_OK;
}

WINOLEAUTAPI GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo)
{
    if (dwReserved != 0 || !pperrinfo) return E_INVALIDARG;
    // The thread's reference passes to the caller and the thread has none left.
    *pperrinfo = t_error_object.info;
    t_error_object.info = nullptr;
    return *pperrinfo ? S_OK : S_FALSE;
}
