// The collection class: ordered elements, each with an optional text key.
// Keys compare without regard to letter case, as the automation runtime's own
// collection does; lookup by key is hashed.
#pragma once

#include "automation.h"

// {A4C46780-499F-101B-BB78-00AA00383CBB}
struct _Collection : IDispatch {
    STDMETHOD(Item)(VARIANT* Index, VARIANT* pvarRet) = 0;
    STDMETHOD(Add)(VARIANT* Item, VARIANT* Key, VARIANT* Before, VARIANT* After) = 0;
    STDMETHOD(Count)(LONG* pi4) = 0;
    STDMETHOD(Remove)(VARIANT* Index) = 0;
    STDMETHOD(_NewEnum)(IUnknown** ppunk) = 0;
};

inline constexpr IID IID__Collection = {
    0xA4C46780, 0x499F, 0x101B, {0xBB, 0x78, 0x00, 0xAA, 0x00, 0x38, 0x3C, 0xBB}};

namespace rt {

// Vtable indices of the collection's operations that error reports name.
constexpr int kVtableItem = 7;
constexpr int kVtableAdd = 8;

// Errors the collection raises, with the automation runtime's codes.
constexpr HRESULT kCollInvalidArgument = static_cast<HRESULT>(0x800A0005);  // also a missing key
constexpr HRESULT kCollOutOfRange = static_cast<HRESULT>(0x800A0009);
constexpr HRESULT kCollDuplicateKey = static_cast<HRESULT>(0x800A01C9);
constexpr HRESULT kCollTypeMismatch = static_cast<HRESULT>(0x800A000D);

// A new, empty collection; the caller holds its only reference.
// E_OUTOFMEMORY (and *out null) when it cannot be allocated.
HRESULT create_collection(_Collection** out) noexcept;

// The value that stands for an omitted optional argument.
inline VARIANT missing_argument() noexcept
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

}  // namespace rt
