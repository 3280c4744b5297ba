// A raised error: the failing status, and which interface operation failed.
// Raised as a C++ exception inside an operation; turned back into a status at
// the operation's boundary. It never crosses an interface.
#pragma once

#include "automation.h"

#include <new>
#include <type_traits>

namespace rt {

struct RaisedError {
    HRESULT code;
    // The interface that was called and the vtable index of the operation in
    // it (IUnknown's QueryInterface is index 0). A failure the runtime detects
    // itself, such as an allocation, has no origin: the boundary names the
    // operation that was running.
    bool has_origin;
    IID iid;
    int vtable_index;
    const char* operation;

    static RaisedError out_of_memory() { return {E_OUTOFMEMORY, false, IID{}, -1, nullptr}; }
    static RaisedError failure(HRESULT code) { return {code, false, IID{}, -1, nullptr}; }
};

// Tests the status of an interface call at once: a negative status is raised,
// 0 and every positive status count as success.
inline HRESULT check_call(HRESULT status, REFIID iid, int vtable_index, const char* operation)
{
    if (FAILED(status)) throw RaisedError{status, true, iid, vtable_index, operation};
    return status;
}

// Runs body and turns what it raises into a status. For objects whose
// operations need no more than that (the collection and its enumerator).
// A body may return its own success status (S_FALSE from an enumerator).
template <class Body>
HRESULT status_of(Body&& body) noexcept
{
    try {
        if constexpr (std::is_void_v<decltype(body())>) {
            body();
            return S_OK;
        } else {
            return body();
        }
    } catch (const RaisedError& e) {
        return e.code;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace rt
