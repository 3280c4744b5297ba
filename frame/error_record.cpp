#include "error_record.h"

#include "frame/iserver.h"
#include "frame/static_bstr.h"
#include "runtime/com_ptr.h"

#include <cstdio>

namespace orvanta {
namespace {

thread_local ErrorRecord t_record;

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
    std::snprintf(text, sizeof text, "%s.%s (slot %d) failed with status 0x%08X", interface_name,
                  operation ? operation : "?", r.vtable_index, static_cast<unsigned>(r.number));
    std::size_t i = 0;
    for (; text[i] != '\0'; ++i) r.description[i] = static_cast<OLECHAR>(text[i]);
    r.description[i] = 0;
}

}  // namespace

BSTR error_source() noexcept { return kSource.get(); }

const ErrorRecord& error_record() noexcept { return t_record; }

void clear_error_record() noexcept { t_record = ErrorRecord{}; }

void note_error(const rt::RaisedError& error, const Operation& running) noexcept
{
    ErrorRecord& r = t_record;
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
}

void publish_error(const rt::RaisedError& error, const Operation& running) noexcept
{
    note_error(error, running);
    publish_error_record();
}

void publish_error_record() noexcept
{
    rt::ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.put()))) return;
    create->SetGUID(t_record.iid);
    create->SetSource(error_source());
    create->SetDescription(t_record.description);
    rt::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.put_void())))
        SetErrorInfo(0, info.get());
}

}  // namespace orvanta
