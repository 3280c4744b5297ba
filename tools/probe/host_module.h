// Loads the module as a host does: the library, its class object, an
// instance. Natively the runtime functions come from the module itself, which
// carries the stand-in; on Windows they are the platform's.
#pragma once

#include "frame/iserver.h"
#include "tools/common/utf8.h"

#include <memory>
#include <string>

namespace probe {

// The runtime's functions keep the platform's calling convention (stdcall on
// 32-bit Windows).
struct Runtime {
    void(WINAPI* SysFreeString)(BSTR) = nullptr;
    UINT(WINAPI* SysStringLen)(BSTR) = nullptr;
    BSTR(WINAPI* SysAllocStringLen)(const OLECHAR*, UINT) = nullptr;
    void(WINAPI* VariantInit)(VARIANT*) = nullptr;
    HRESULT(WINAPI* VariantClear)(VARIANT*) = nullptr;
    HRESULT(WINAPI* GetErrorInfo)(ULONG, IErrorInfo**) = nullptr;
};

// An interface pointer of the loaded module, released on every path.
struct Releaser {
    void operator()(IUnknown* p) const { p->Release(); }
};
template <class T>
using Ref = std::unique_ptr<T, Releaser>;

// A string of the loaded module's runtime, freed by it on every path.
class RuntimeString {
public:
    explicit RuntimeString(const Runtime& rt, BSTR value = nullptr) : rt_(rt), value_(value) {}
    RuntimeString(const RuntimeString&) = delete;
    RuntimeString& operator=(const RuntimeString&) = delete;
    ~RuntimeString() { rt_.SysFreeString(value_); }

    BSTR* address() { return &value_; }
    std::string utf8() const { return text::utf8_of(value_, rt_.SysStringLen(value_)); }

private:
    const Runtime& rt_;
    BSTR value_;
};

// A failed step: what was being done and the status it gave.
struct StepFailure {
    std::string step;
    HRESULT status;
    std::string error_record;  // the platform error object's description, if any
};

// The module file could not be loaded, or is not this module: the whole
// message, naming the file.
struct LoadFailure {
    std::string message;
};

class HostModule {
public:
    // Throws LoadFailure.
    void load(const std::string& path);
    // A new instance through the class object, queried for IServer.
    Ref<IServer> create_server();
    HRESULT can_unload_now();
    const Runtime& runtime() const { return rt_; }
    // The description of the thread's error object, or "" when none.
    std::string take_error_record();

private:
    struct Closer {
        void operator()(void* library) const;
    };
    std::unique_ptr<void, Closer> library_;
    HRESULT(STDAPICALLTYPE* get_class_object_)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* can_unload_now_)() = nullptr;
    Runtime rt_;
};

using text::utf8_of;

}  // namespace probe
