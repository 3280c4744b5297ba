// Helpers for the tests that run under Wine against the registered module:
// owners for interface references, strings and variants, paths beside the
// test program, registry readers and late-binding calls; with everything of
// tests/common/client_support.h (reference-count probes, text, variants,
// readers that turn a collection into plain text).
#pragma once

#include "expected_values.h"
#include "frame/iserver.h"
#include "tests/common/client_support.h"

#include <gtest/gtest.h>

#include <oleauto.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace wt {

using namespace client;

// The 16-bit texts of tests/common/expected_definition.h are zero-terminated
// literals; wide characters are 16 bits wide here, so they are the
// platform's text as they are.
static_assert(sizeof(wchar_t) == 2, "wide characters are 16 bits wide");

// ---- owners ----

template <class T>
using Ref = rt::ComPtr<T>;

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : s_(SysAllocString(text)) {}
    Bstr(const wchar_t* text, UINT length) : s_(SysAllocStringLen(text, length)) {}
    explicit Bstr(const std::wstring& text)
        : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
    }
    // A text of tests/common/expected_definition.h, every unit of it.
    explicit Bstr(std::u16string_view text) : Bstr(as_text(text)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(s_); }

    BSTR get() const { return s_; }
    BSTR* put()
    {
        reset();
        return &s_;
    }
    // The caller's variable itself, for operations that take a string by
    // reference; it must come back unchanged.
    BSTR* address() { return &s_; }
    void reset()
    {
        SysFreeString(s_);
        s_ = nullptr;
    }

private:
    BSTR s_ = nullptr;
};

using Variant = rt::Variant;

// ---- identities and text ----

// The identity of an object: its IUnknown pointer, without keeping a reference.
IUnknown* identity_of(IUnknown* object);

std::wstring guid_text(REFGUID guid);

// ---- where things are ----

// The folder that holds the test program, with a trailing backslash; the
// module, the probe and the host's type library are built beside it.
std::wstring program_folder();
std::wstring module_path();        // ...\TivOrvantaZNA100.dll
std::wstring host_library_path();  // ...\TivDefn.tlb

// The module loaded by path, for its exports. The platform's object creation
// loads the same file, so both see one module and one set of counts.
class LoadedModule {
public:
    LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    ~LoadedModule();

    HMODULE handle() const { return module_; }
    // The full path the platform gives the loaded module.
    std::wstring file_name() const;
    HRESULT can_unload_now() const;
    HRESULT get_class_object(REFCLSID clsid, REFIID iid, void** out) const;
    FARPROC entry(const char* name) const;

private:
    HMODULE module_ = nullptr;
};

// ---- registry ----

struct RegistryValue {
    LONG status = ERROR_FILE_NOT_FOUND;  // of RegOpenKeyExW, then RegQueryValueExW
    DWORD type = REG_NONE;
    std::wstring text;  // REG_SZ without its terminator
};

bool key_exists(HKEY root, const std::wstring& path);
// name nullptr: the key's default value.
RegistryValue read_value(HKEY root, const std::wstring& path, const wchar_t* name);

// ---- the object ----

// A new instance through the platform, by class identifier.
Ref<IServer> create_server();

// True when the host's library TivDefn 34.2 is registered.
bool host_library_registered();

// The host's type library (TivDefn.tlb beside the test program) registered
// for as long as the object lives, and unregistered after. A library that
// was registered before (a real host's) is used as it is and left alone.
class RegisteredHostLibrary {
public:
    RegisteredHostLibrary();
    RegisteredHostLibrary(const RegisteredHostLibrary&) = delete;
    RegisteredHostLibrary& operator=(const RegisteredHostLibrary&) = delete;
    ~RegisteredHostLibrary();
    HRESULT status() const { return status_; }

private:
    HRESULT status_ = E_FAIL;
    bool registered_here_ = false;
};

// ---- late binding ----

// A late-bound call: arguments in source order (reversed here as the
// platform wants them), positional only.
struct CallResult {
    HRESULT status = E_UNEXPECTED;
    Variant result;
    EXCEPINFO exception{};
    UINT argument_error = 0xFFFFFFFF;
    CallResult() = default;
    CallResult(const CallResult&) = delete;
    CallResult& operator=(const CallResult&) = delete;
    ~CallResult();
};
void invoke(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> arguments,
            CallResult& out);

DISPID id_of_name(IDispatch* object, const wchar_t* name, HRESULT* status);

// ---- the module ----

// Fixture for tests that use the module: apartment set up by the test
// program's environment; at the end, nothing of the module may be left
// alive (its DllCanUnloadNow answers S_OK). Something an earlier test left
// alive is that test's failure, not reported again by every later one.
class ModuleTest : public ::testing::Test {
protected:
    ModuleTest();
    void TearDown() override;
    LoadedModule module_;
    HRESULT unload_at_start_;
};

// Fixture for tests of one instance, created by class identifier: at the end
// server_ must hold the instance's only reference.
class ServerTest : public ModuleTest {
protected:
    void SetUp() override;
    void TearDown() override;
    Ref<IServer> server_;
};

}  // namespace wt
