// The platform's error object and the thread's error object that carries it
// from a failing operation to its caller.
//
// The object stands for the platform's own: it is not one of the module's
// objects, so it neither counts in rt::live_objects nor consults the fault
// hook when it is created. Its texts are kept outside the automation string
// heap so that an error object parked as a thread's error object never shows up as a
// leaked string; only the copies handed out by the getters are BSTRs.
#include "runtime/com_ptr.h"
#include "runtime/unknown.h"

#include <atomic>
#include <new>
#include <optional>
#include <string>

namespace {

// An unset text and an empty one differ: the getters give null for the first.
using Text = std::optional<std::u16string>;

// Counted atomically, as the platform's error object is free-threaded; not
// among the module's live objects.
class FreeThreadedCount {
public:
    ULONG add() noexcept { return ++refs_; }
    ULONG release() noexcept { return --refs_; }

private:
    std::atomic<ULONG> refs_{1};
};

class ErrorObject final : public rt::Unknown<ErrorObject, FreeThreadedCount, IErrorInfo,
                                             ICreateErrorInfo, ISupportErrorInfo> {
public:
    static const rt::Interface<ErrorObject> kInterfaces[];

    // IErrorInfo
    HRESULT STDMETHODCALLTYPE GetGUID(GUID* out) override { return copy_to(guid_, out); }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) override { return hand_out(source_, out); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) override
    {
        return hand_out(description_, out);
    }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* out) override { return hand_out(help_file_, out); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* out) override
    {
        return copy_to(help_context_, out);
    }

    // ICreateErrorInfo
    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guid) override { return copy_to(guid, &guid_); }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return keep(source_, text); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override
    {
        return keep(description_, text);
    }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return keep(help_file_, text); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override
    {
        return copy_to(context, &help_context_);
    }

    // ISupportErrorInfo: the platform's object vouches only for its own GUID.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override
    {
        return riid == guid_ ? S_OK : S_FALSE;
    }

private:
    // A getter's copy, or a setter's (whose destination is never null).
    template <class T>
    static HRESULT copy_to(const T& value, T* out) noexcept
    {
        if (!out) return E_INVALIDARG;
        *out = value;
        return S_OK;
    }

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

    GUID guid_{};
    Text source_;
    Text description_;
    Text help_file_;
    DWORD help_context_ = 0;
};

const rt::Interface<ErrorObject> ErrorObject::kInterfaces[] = {
    rt::answers<ErrorObject, IErrorInfo>(IID_IUnknown),
    rt::answers<ErrorObject, IErrorInfo>(IID_IErrorInfo),
    rt::answers<ErrorObject, ICreateErrorInfo>(IID_ICreateErrorInfo),
    rt::answers<ErrorObject, ISupportErrorInfo>(IID_ISupportErrorInfo),
    rt::kEndOfInterfaces<ErrorObject>,
};

// The thread's error object; whatever is left is released when the thread ends.
thread_local rt::ComPtr<IErrorInfo> t_error_object;

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
    // The new object is referenced before the old is let go: they may be one.
    t_error_object = rt::ComPtr<IErrorInfo>::share(perrinfo);
    return S_OK;
}

WINOLEAUTAPI GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo)
{
    if (dwReserved != 0 || !pperrinfo) return E_INVALIDARG;
    // The thread's reference passes to the caller and the thread has none left.
    *pperrinfo = t_error_object.detach();
    return *pperrinfo ? S_OK : S_FALSE;
}
