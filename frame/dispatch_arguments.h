// Arguments of a late-bound call, converted to the forms the operations take.
#pragma once

#include "runtime/automation.h"
#include "runtime/bstr.h"

namespace orvanta {

// A String argument: the caller's own variable when the argument is a string
// (by value or by reference), else a converted copy. The operation receives
// the address of a BSTR variable either way.
class StringArgument {
public:
    StringArgument() = default;
    StringArgument(const StringArgument&) = delete;
    StringArgument& operator=(const StringArgument&) = delete;

    // DISP_E_TYPEMISMATCH when the value has no text, DISP_E_PARAMNOTOPTIONAL
    // when it was omitted, E_OUTOFMEMORY when the conversion cannot allocate.
    HRESULT bind(VARIANT* arg) noexcept;
    BSTR* address() noexcept { return target_; }

private:
    BSTR value_ = nullptr;
    BSTR* target_ = &value_;
    rt::BStr converted_;
};

// The FamilyTotal argument: written back when passed by reference as a
// Boolean or a variant; passed by value it is accepted and the written value
// is dropped, as for any by-value argument.
class BooleanOutArgument {
public:
    BooleanOutArgument() = default;
    BooleanOutArgument(const BooleanOutArgument&) = delete;
    BooleanOutArgument& operator=(const BooleanOutArgument&) = delete;

    HRESULT bind(VARIANT* arg) noexcept;
    VARIANT_BOOL* address() noexcept { return target_; }
    // Stores the operation's value in the caller's variant, when it gave one.
    void write_back() noexcept;

private:
    VARIANT_BOOL value_ = VARIANT_FALSE;
    VARIANT_BOOL* target_ = &value_;
    VARIANT* variant_ = nullptr;
};

}  // namespace orvanta
