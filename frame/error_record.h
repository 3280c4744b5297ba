// The error record of the running thread: the number of the last raised
// error (0 when none), the interface that was called, the vtable index of
// the operation in it, and a description naming the operation. Recording
// never allocates but for a thread's first record on Windows; when that
// allocation fails, the error goes unrecorded and its status is unchanged.
#pragma once

#include "runtime/automation.h"
#include "runtime/raised_error.h"

namespace orvanta {

// The operation an error is reported against when it has no origin of its own.
struct Operation {
    const char* interface_name;
    const IID* iid;
    int vtable_index;
    const char* name;
};

struct ErrorRecord {
    HRESULT number = 0;
    IID iid{};
    int vtable_index = -1;
    OLECHAR description[192] = {};
};

const ErrorRecord& error_record() noexcept;
void clear_error_record() noexcept;

// Notes a raised error in the record (filling in `running` when the error has
// no origin) without touching the platform's error object: for errors an
// operation traps and absorbs.
void note_error(const rt::RaisedError& error, const Operation& running) noexcept;

// Notes the error and also publishes it as the platform's per-thread error
// object, for errors that end an operation. Best effort: a failure to publish
// never changes the operation's status.
void publish_error(const rt::RaisedError& error, const Operation& running) noexcept;

// Describes the error that ended a late-bound call's operation: the
// platform's convention is DISP_E_EXCEPTION with the status in EXCEPINFO;
// without an EXCEPINFO the status itself is returned. The texts are the
// record's when it holds that status, and only then, with `publish_again`,
// is the record published once more as the platform's per-thread error
// object, after the platform's invocation took the object over.
HRESULT report_exception(HRESULT status, EXCEPINFO* info, bool publish_again = false) noexcept;

#ifdef _WIN32
// From the module's load notifications: the thread-local storage index is taken when
// a process attaches (when the platform has none to give, errors go
// unrecorded), a thread's record freed when it ends, and every record
// freed when the module is unloaded.
void error_records_attach() noexcept;
void error_record_thread_ended() noexcept;
void error_records_detach() noexcept;
#endif

}  // namespace orvanta
