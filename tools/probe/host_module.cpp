#include "tools/probe/host_module.h"

#include "definition/module_identity.h"
#include "tools/probe/machine.h"

#ifdef _WIN32
#else
#  include <dlfcn.h>
#endif

#include <cstdio>

namespace probe {
namespace {

#ifdef _WIN32
void* open_library(const std::string& path)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), n);
    return reinterpret_cast<void*>(LoadLibraryW(wide.c_str()));
}
void* symbol(void* library, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void close_library(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
std::string load_error()
{
    const DWORD error = GetLastError();
    return machine::message_of(HRESULT_FROM_WIN32(error)) + " (Windows error " +
           std::to_string(error) + ")";
}
#else
void* open_library(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* symbol(void* library, const char* name) { return dlsym(library, name); }
void close_library(void* library) { dlclose(library); }
std::string load_error()
{
    const char* e = dlerror();
    return e ? e : "unknown error";
}
#endif

template <class F>
void bind(void* library, const std::string& path, const char* name, F& out)
{
    out = reinterpret_cast<F>(symbol(library, name));
    if (!out)
        throw LoadFailure{path + " is not the " + std::string(orvanta::identity::kModuleName) +
                          " module: it exports no " + name};
}

// Why a file did not load, and for a module of the other bitness which
// probe loads it.
std::string load_failure(const std::string& path)
{
    std::string message = "cannot load " + path + ": " + load_error();
    // The platform's messages name the file as "%1".
    for (std::size_t at; (at = message.find("%1")) != std::string::npos;)
        message.replace(at, 2, "the file");
    const machine::FileFacts f = machine::inspect(path);
    const int own = static_cast<int>(sizeof(void*) * 8);
    if (!f.exists)
        message += "; no such file";
    else if (f.bits == 0)
        message += "; it is not a module";
    else if (f.bits != own)
        message += "; it is a " + std::to_string(f.bits) + "-bit module: use the " +
                   std::to_string(f.bits) + "-bit orvanta-probe (the one shipped with the " +
                   std::to_string(f.bits) + "-bit module)";
    return message;
}

}  // namespace

void HostModule::Closer::operator()(void* library) const { close_library(library); }

void HostModule::load(const std::string& path)
{
    library_.reset(open_library(path));
    if (!library_) throw LoadFailure{load_failure(path)};
    bind(library_.get(), path, "DllGetClassObject", get_class_object_);
    bind(library_.get(), path, "DllCanUnloadNow", can_unload_now_);
#ifdef _WIN32
    rt_.SysFreeString = ::SysFreeString;
    rt_.SysStringLen = ::SysStringLen;
    rt_.SysAllocStringLen = ::SysAllocStringLen;
    rt_.VariantInit = ::VariantInit;
    rt_.VariantClear = ::VariantClear;
    rt_.GetErrorInfo = ::GetErrorInfo;
#else
    bind(library_.get(), path, "SysFreeString", rt_.SysFreeString);
    bind(library_.get(), path, "SysStringLen", rt_.SysStringLen);
    bind(library_.get(), path, "SysAllocStringLen", rt_.SysAllocStringLen);
    bind(library_.get(), path, "VariantInit", rt_.VariantInit);
    bind(library_.get(), path, "VariantClear", rt_.VariantClear);
    bind(library_.get(), path, "GetErrorInfo", rt_.GetErrorInfo);
#endif
}

Ref<IServer> HostModule::create_server()
{
    IClassFactory* factory = nullptr;
    HRESULT hr = get_class_object_(CLSID_CTivOrvantaZNA100, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) throw StepFailure{"DllGetClassObject", hr, take_error_record()};
    IServer* server = nullptr;
    hr = factory->CreateInstance(nullptr, IID_IServer, reinterpret_cast<void**>(&server));
    factory->Release();
    if (FAILED(hr)) throw StepFailure{"IClassFactory::CreateInstance", hr, take_error_record()};
    return Ref<IServer>(server);
}

HRESULT HostModule::can_unload_now() { return can_unload_now_(); }

std::string HostModule::take_error_record()
{
    IErrorInfo* info = nullptr;
    if (rt_.GetErrorInfo(0, &info) != S_OK || !info) return "";
    const Ref<IErrorInfo> owned(info);
    RuntimeString description(rt_);
    return SUCCEEDED(info->GetDescription(description.address())) ? description.utf8() : "";
}

}  // namespace probe
