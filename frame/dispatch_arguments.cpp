#include "frame/dispatch_arguments.h"

#include "runtime/late_binding.h"
#include "runtime/variant.h"

#include <utility>

namespace orvanta {

HRESULT StringArgument::bind(VARIANT* arg) noexcept
{
    if (arg->vt == (VT_BYREF | VT_VARIANT)) {
        if (!arg->pvarVal) return DISP_E_TYPEMISMATCH;
        arg = arg->pvarVal;
    }
    if (arg->vt == (VT_BYREF | VT_BSTR)) {
        if (!arg->pbstrVal) return DISP_E_TYPEMISMATCH;
        target_ = arg->pbstrVal;
        return S_OK;
    }
    if (arg->vt == VT_BSTR) {
        value_ = arg->bstrVal;
        return S_OK;
    }
    if (rt::is_omitted(*arg)) return DISP_E_PARAMNOTOPTIONAL;
    rt::Variant text;
    const HRESULT hr = VariantChangeType(text.put(), arg, 0, VT_BSTR);
    if (FAILED(hr)) return hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
    converted_.reset(std::exchange(text->bstrVal, nullptr));
    text->vt = VT_EMPTY;
    value_ = converted_.get();
    return S_OK;
}

HRESULT BooleanOutArgument::bind(VARIANT* arg) noexcept
{
    switch (arg->vt) {
    case VT_BYREF | VT_BOOL:
        if (!arg->pboolVal) return DISP_E_TYPEMISMATCH;
        target_ = arg->pboolVal;
        return S_OK;
    case VT_BYREF | VT_VARIANT:
        if (!arg->pvarVal) return DISP_E_TYPEMISMATCH;
        if (arg->pvarVal->vt == (VT_BYREF | VT_BOOL)) return bind(arg->pvarVal);
        variant_ = arg->pvarVal;
        return S_OK;
    case VT_EMPTY:
    case VT_BOOL:
    case VT_I2:
    case VT_I4:
    case VT_UI1:
    case VT_R4:
    case VT_R8: return S_OK;
    default: return DISP_E_TYPEMISMATCH;
    }
}

void BooleanOutArgument::write_back() noexcept
{
    if (!variant_) return;
    VariantClear(variant_);
    variant_->vt = VT_BOOL;
    variant_->boolVal = value_;
}

}  // namespace orvanta
