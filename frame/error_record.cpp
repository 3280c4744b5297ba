#include "error_record.h"

#include "frame/iserver.h"
#include "frame/static_bstr.h"
#include "runtime/com_ptr.h"
#include "runtime/late_binding.h"

#include <cstdio>
#include <new>

namespace orvanta {
namespace {

const ErrorRecord kNoRecord{};

#ifdef _WIN32
// With this toolchain thread_local becomes emulated thread-local storage,
// whose first touch on a thread allocates and ends the process when that
// fails. The record lives instead at an index of the platform's own
// thread-local storage, taken when the module is loaded, and is allocated
// where a failure costs only the error's description.
struct ThreadRecord {
    ErrorRecord record;
    ThreadRecord* previous;
    ThreadRecord* next;
};

DWORD g_tls_index = TLS_OUT_OF_INDEXES;
// Every thread's record, so that unloading the module frees them all.
SRWLOCK g_records_lock = SRWLOCK_INIT;
ThreadRecord* g_records = nullptr;

ThreadRecord* held_record() noexcept
{
    if (g_tls_index == TLS_OUT_OF_INDEXES) return nullptr;
    // Reading the index clears the thread's last error, which is the caller's.
    const DWORD last_error = GetLastError();
    auto* held = static_cast<ThreadRecord*>(TlsGetValue(g_tls_index));
    SetLastError(last_error);
    return held;
}

void unlink(ThreadRecord* r) noexcept
{
    (r->previous ? r->previous->next : g_records) = r->next;
    if (r->next) r->next->previous = r->previous;
}

// The running thread's record; when `create`, made on first use. Null when
// there is none and it cannot be had.
ErrorRecord* thread_record(bool create) noexcept
{
    if (ThreadRecord* held = held_record()) return &held->record;
    if (!create || g_tls_index == TLS_OUT_OF_INDEXES) return nullptr;
    auto* fresh = new (std::nothrow) ThreadRecord{};
    if (!fresh) return nullptr;
    if (!TlsSetValue(g_tls_index, fresh)) {
        delete fresh;
        return nullptr;
    }
    AcquireSRWLockExclusive(&g_records_lock);
    fresh->next = g_records;
    if (g_records) g_records->previous = fresh;
    g_records = fresh;
    ReleaseSRWLockExclusive(&g_records_lock);
    return &fresh->record;
}
#else
thread_local ErrorRecord t_record;

ErrorRecord* thread_record(bool) noexcept { return &t_record; }
#endif

constexpr StaticBStr<identity::kProgramId.size()> kSource(identity::kProgramId);

const char* interface_name_of(REFIID iid) noexcept
{
    if (iid == IID_IServer) return "IServer";
    if (iid == IID__CTivOrvantaZNA100) return "_CTivOrvantaZNA100";
    if (iid == IID__Collection) return "_Collection";
    if (iid == IID_IClassFactory) return "IClassFactory";
    return "interface";
}

// Formats into the record's fixed buffer: recording an error never allocates.
void describe(ErrorRecord& r, const char* interface_name, const char* operation) noexcept
{
    char text[sizeof r.description / sizeof r.description[0]];
    std::snprintf(text, sizeof text, "%s.%s (vtable index %d) failed with status 0x%08X",
                  interface_name, operation ? operation : "?", r.vtable_index,
                  static_cast<unsigned>(r.number));
    std::size_t i = 0;
    for (; text[i] != '\0'; ++i) r.description[i] = static_cast<OLECHAR>(text[i]);
    r.description[i] = 0;
}

// Publishes the record, as it stands, as the platform's per-thread error
// object. Best effort. Without a record, or an object for it, the thread's
// error object is cleared, so that no earlier one is taken for this failure's.
void publish_error_record(ErrorRecord* r) noexcept
{
    rt::ComPtr<IErrorInfo> info;
    rt::ComPtr<ICreateErrorInfo> create;
    if (r && SUCCEEDED(CreateErrorInfo(create.put()))) {
        create->SetGUID(r->iid);
        create->SetSource(kSource.get());
        create->SetDescription(r->description);
        create->QueryInterface(IID_IErrorInfo, info.put_void());
    }
    SetErrorInfo(0, info.get());
}

ErrorRecord* note(const rt::RaisedError& error, const Operation& running) noexcept
{
    ErrorRecord* held = thread_record(true);
    if (!held) return nullptr;
    ErrorRecord& r = *held;
    r.number = error.code;
    if (error.has_origin) {
        r.iid = error.iid;
        r.vtable_index = error.vtable_index;
        describe(r, interface_name_of(error.iid), error.operation);
    } else {
        r.iid = *running.iid;
        r.vtable_index = running.vtable_index;
        describe(r, running.interface_name, running.name);
    }
    return held;
}

}  // namespace

const ErrorRecord& error_record() noexcept
{
    const ErrorRecord* r = thread_record(false);
    return r ? *r : kNoRecord;
}

void clear_error_record() noexcept
{
    if (ErrorRecord* r = thread_record(false)) *r = ErrorRecord{};
}

void note_error(const rt::RaisedError& error, const Operation& running) noexcept
{
    note(error, running);
}

void publish_error(const rt::RaisedError& error, const Operation& running) noexcept
{
    publish_error_record(note(error, running));
}

HRESULT report_exception(HRESULT status, EXCEPINFO* info, bool publish_again) noexcept
{
    ErrorRecord* r = thread_record(false);
    const bool described = r && r->number == status;
    if (described && publish_again) publish_error_record(r);
    if (!info) return status;
    return rt::describe_exception(info, status, described ? kSource.get() : nullptr,
                                  described ? r->description : nullptr);
}

#ifdef _WIN32
void error_records_attach() noexcept { g_tls_index = TlsAlloc(); }

void error_record_thread_ended() noexcept
{
    ThreadRecord* held = held_record();
    if (!held) return;
    TlsSetValue(g_tls_index, nullptr);
    AcquireSRWLockExclusive(&g_records_lock);
    unlink(held);
    ReleaseSRWLockExclusive(&g_records_lock);
    delete held;
}

void error_records_detach() noexcept
{
    if (g_tls_index == TLS_OUT_OF_INDEXES) return;
    AcquireSRWLockExclusive(&g_records_lock);
    while (ThreadRecord* r = g_records) {
        unlink(r);
        delete r;
    }
    ReleaseSRWLockExclusive(&g_records_lock);
    TlsFree(g_tls_index);
    g_tls_index = TLS_OUT_OF_INDEXES;
}
#endif

}  // namespace orvanta
