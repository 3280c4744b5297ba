// The call discipline every IServer operation follows, written once:
//  - a null result or by-reference address is refused with E_POINTER; a
//    valid result address then holds null (or 0), nothing else is written;
//  - a reference on the instance is held for the whole call;
//  - a String or Collection result is set to null before any work (its old
//    value is overwritten, not freed); a Long result is not touched until
//    the end; a failed call leaves it null (or 0);
//  - the result is built in a local; a raised error releases every local,
//    the partial result included, and becomes the status;
//  - the reference is dropped, then the result is handed to the caller.
// Nothing thrown inside an operation crosses the interface.
#pragma once

#include "frame/error_record.h"
#include "runtime/bstr.h"
#include "runtime/collection.h"
#include "runtime/com_ptr.h"

#include <initializer_list>
#include <new>

namespace orvanta {

template <class Out>
struct ResultTraits;

template <>
struct ResultTraits<BSTR> {
    using Local = rt::BStr;
    static constexpr bool kNullOnEntry = true;
    static BSTR hand_over(Local& local) noexcept { return local.detach(); }
};

template <>
struct ResultTraits<_Collection*> {
    using Local = rt::ComPtr<_Collection>;
    static constexpr bool kNullOnEntry = true;
    static _Collection* hand_over(Local& local) noexcept { return local.detach(); }
};

template <>
struct ResultTraits<LONG> {
    using Local = LONG;
    static constexpr bool kNullOnEntry = false;
    static LONG hand_over(Local& local) noexcept { return local; }
};

inline bool any_null(std::initializer_list<const void*> addresses) noexcept
{
    for (const void* a : addresses)
        if (!a) return true;
    return false;
}

// Runs body, which returns the operation's local result, under the call
// discipline. `addresses` are the by-reference arguments the body will use.
template <class Out, class Body>
HRESULT run_operation(IUnknown* self, const Operation& op, Out* result,
                      std::initializer_list<const void*> addresses, Body&& body) noexcept
{
    using Traits = ResultTraits<Out>;
    if (!result || any_null(addresses)) {
        if (result) *result = Out{};
        publish_error(rt::RaisedError::failure(E_POINTER), op);
        return E_POINTER;
    }
    typename Traits::Local local{};
    HRESULT status = S_OK;
    {
        const auto hold = rt::ComPtr<IUnknown>::share(self);
        if constexpr (Traits::kNullOnEntry) *result = nullptr;
        try {
            local = body();
        } catch (const rt::RaisedError& e) {
            status = e.code;
            publish_error(e, op);
        } catch (const std::bad_alloc&) {
            status = E_OUTOFMEMORY;
            publish_error(rt::RaisedError::out_of_memory(), op);
        }
    }
    *result = FAILED(status) ? Out{} : Traits::hand_over(local);
    return status;
}

// Error trap: a raised error abandons `step` and stays in the error record,
// noted against `op`, for the caller to read; the operation goes on.
template <class Step>
void trap_errors(const Operation& op, Step&& step) noexcept
{
    try {
        step();
    } catch (const rt::RaisedError& e) {
        note_error(e, op);
    } catch (const std::bad_alloc&) {
        note_error(rt::RaisedError::out_of_memory(), op);
    }
}

}  // namespace orvanta
