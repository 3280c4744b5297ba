// The platform's error object and the per-thread slot that carries it from a
// failing operation to its caller.
//
// The object stands for the platform's own: it is not one of the module's
// objects, so it neither counts in rt::live_objects nor consults the fault
// hook when it is created. Its texts are kept outside the automation string
// heap so that an error object parked in a thread's slot never shows up as a
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
    static HRESULT keep(Text& slot, const OLECHAR* text) noexcept
    {
        try {
            if (text)
                slot.emplace(text);
            else
                slot.reset();
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    static HRESULT hand_out(const Text& slot, BSTR* out) noexcept
    {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (!slot) return S_OK;
        *out = SysAllocStringLen(slot->data(), static_cast<UINT>(slot->size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    std::atomic<ULONG> refs_{1};
    GUID guid_{};
    Text source_;
    Text description_;
    Text help_file_;
    DWORD help_context_ = 0;
};

// The thread's slot; whatever is left in it is released when the thread ends.
struct ErrorSlot {
    IErrorInfo* info = nullptr;
    ~ErrorSlot()
    {
        if (info) info->Release();
    }
};

thread_local ErrorSlot t_slot;

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
    IErrorInfo* previous = t_slot.info;
    t_slot.info = perrinfo;
    if (previous) previous->Release();
    return S_OK;
}

WINOLEAUTAPI GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo)
{
    if (dwReserved != 0 || !pperrinfo) return E_INVALIDARG;
    // The slot's reference passes to the caller and the slot is left empty.
    *pperrinfo = t_slot.info;
    t_slot.info = nullptr;
    return *pperrinfo ? S_OK : S_FALSE;
}
