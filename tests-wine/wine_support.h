// Helpers for the tests that run under Wine against the registered module:
// owners for interface references, strings and variants, reference-count
// probes, paths beside the test program, registry readers, late-binding
// calls and readers that turn a collection into plain text.
#pragma once

#include "expected_values.h"
#include "frame/iserver.h"

#include <gtest/gtest.h>

#include <oleauto.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace wt {

// ---- owners ----

template <class T>
class Ref {
public:
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : p_(other.detach()) {}
    Ref& operator=(Ref&& other) noexcept
    {
        if (this != &other) {
            reset();
            p_ = other.detach();
        }
        return *this;
    }
    ~Ref() { reset(); }

    // Takes over a reference the caller already owns.
    static Ref adopt(T* p)
    {
        Ref r;
        r.p_ = p;
        return r;
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** put()
    {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    T* detach() { return std::exchange(p_, nullptr); }
    void reset()
    {
        if (T* old = std::exchange(p_, nullptr)) old->Release();
    }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : s_(SysAllocString(text)) {}
    Bstr(const wchar_t* text, UINT length) : s_(SysAllocStringLen(text, length)) {}
    explicit Bstr(const std::wstring& text)
        : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
    }
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

class Variant {
public:
    Variant() { VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }

    VARIANT* get() { return &v_; }
    const VARIANT& operator*() const { return v_; }
    const VARIANT* operator->() const { return &v_; }
    VARIANT* put()
    {
        VariantClear(&v_);
        return &v_;
    }

private:
    VARIANT v_;
};

// ---- reference counts and text ----

// The object's reference count right now, read by an AddRef/Release pair.
inline ULONG refcount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

// The identity of an object: its IUnknown pointer, without keeping a reference.
IUnknown* identity_of(IUnknown* object);

// All SysStringLen units of an automation string; the null string is "".
inline std::wstring text_of(BSTR s) { return s ? std::wstring(s, SysStringLen(s)) : std::wstring(); }

std::wstring guid_text(REFGUID guid);
std::string narrow(const std::wstring& text);
std::string hex(HRESULT status);

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

// Variants as a caller builds them; none owns what it points at.
VARIANT string_value(BSTR s);
VARIANT string_reference(BSTR* s);
VARIANT long_value(LONG n);
VARIANT bool_reference(VARIANT_BOOL* b);

// ---- collections ----

// The elements of a collection as text, read through its vtable: by
// position, by key and through _NewEnum / IEnumVARIANT. Any element that is
// not a string, and any failing call, is reported as a test failure.
LONG count_of(_Collection* list);
std::vector<std::wstring> items_by_position(_Collection* list);
std::vector<std::wstring> items_by_key(_Collection* list, const std::vector<std::wstring>& keys);
std::vector<std::wstring> items_by_enumeration(_Collection* list);

// The catalogue as the client expects it.
std::vector<std::wstring> expected_catalogue();

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

}  // namespace wt
