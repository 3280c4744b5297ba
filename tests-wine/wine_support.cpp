#include "wine_support.h"

#include <algorithm>

namespace wt {

IUnknown* identity_of(IUnknown* object)
{
    IUnknown* unknown = nullptr;
    if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown))) ||
        !unknown)
        return nullptr;
    unknown->Release();
    return unknown;
}

std::wstring guid_text(REFGUID guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// ---- where things are ----

std::wstring program_folder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring module_path() { return program_folder() + expected::kModuleFile; }
std::wstring host_library_path() { return program_folder() + expected::kHostLibraryFile; }

LoadedModule::LoadedModule() : module_(LoadLibraryW(module_path().c_str())) {}

LoadedModule::~LoadedModule()
{
    if (module_) FreeLibrary(module_);
}

std::wstring LoadedModule::file_name() const
{
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameW(module_, path, MAX_PATH * 2);
    return std::wstring(path, n);
}

FARPROC LoadedModule::entry(const char* name) const
{
    return module_ ? GetProcAddress(module_, name) : nullptr;
}

HRESULT LoadedModule::can_unload_now() const
{
    using Fn = HRESULT(STDAPICALLTYPE*)();
    const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(entry("DllCanUnloadNow")));
    return fn ? fn() : E_NOTIMPL;
}

HRESULT LoadedModule::get_class_object(REFCLSID clsid, REFIID iid, void** out) const
{
    using Fn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(entry("DllGetClassObject")));
    return fn ? fn(clsid, iid, out) : E_NOTIMPL;
}

// ---- registry ----

bool key_exists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

RegistryValue read_value(HKEY root, const std::wstring& path, const wchar_t* name)
{
    RegistryValue v;
    HKEY key = nullptr;
    v.status = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key);
    if (v.status != ERROR_SUCCESS) return v;
    DWORD bytes = 0;
    v.status = RegQueryValueExW(key, name, nullptr, &v.type, nullptr, &bytes);
    if (v.status == ERROR_SUCCESS) {
        std::vector<BYTE> data(bytes + sizeof(wchar_t));
        v.status = RegQueryValueExW(key, name, nullptr, &v.type, data.data(), &bytes);
        if (v.status == ERROR_SUCCESS && (v.type == REG_SZ || v.type == REG_EXPAND_SZ)) {
            std::wstring text(reinterpret_cast<const wchar_t*>(data.data()),
                              bytes / sizeof(wchar_t));
            // The stored terminator is not part of the text.
            if (!text.empty() && text.back() == L'\0') text.pop_back();
            v.text = text;
        }
    }
    RegCloseKey(key);
    return v;
}

// ---- the object ----

Ref<IServer> create_server()
{
    Ref<IServer> server;
    const HRESULT hr = CoCreateInstance(expected::kClsid, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IServer, server.put_void());
    EXPECT_EQ(hr, S_OK) << hex(hr);
    EXPECT_NE(server.get(), nullptr);
    return server;
}

bool host_library_registered()
{
    BSTR path = nullptr;
    const HRESULT hr = QueryPathOfRegTypeLib(expected::kHostLibid, expected::kHostLibMajor,
                                             expected::kHostLibMinor, 0, &path);
    SysFreeString(path);
    return hr == S_OK;
}

RegisteredHostLibrary::RegisteredHostLibrary()
{
    if (host_library_registered()) {
        status_ = S_OK;
        return;
    }
    ITypeLib* library = nullptr;
    status_ = LoadTypeLibEx(host_library_path().c_str(), REGKIND_NONE, &library);
    if (FAILED(status_)) return;
    std::wstring path = host_library_path();
    status_ = RegisterTypeLib(library, path.data(), nullptr);
    library->Release();
    registered_here_ = SUCCEEDED(status_);
}

RegisteredHostLibrary::~RegisteredHostLibrary()
{
    if (!registered_here_) return;
    const SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    const HRESULT hr = UnRegisterTypeLib(expected::kHostLibid, expected::kHostLibMajor,
                                         expected::kHostLibMinor, 0, kind);
    EXPECT_EQ(hr, S_OK) << "unregistering the host's type library: " << hex(hr);
    EXPECT_FALSE(host_library_registered()) << "the host's type library is still registered";
}

// ---- late binding ----

CallResult::~CallResult()
{
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
}

void invoke(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> arguments,
            CallResult& out)
{
    std::reverse(arguments.begin(), arguments.end());
    DISPPARAMS params{};
    params.cArgs = static_cast<UINT>(arguments.size());
    params.rgvarg = arguments.empty() ? nullptr : arguments.data();
    out.status = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, out.result.put(),
                                &out.exception, &out.argument_error);
}

DISPID id_of_name(IDispatch* object, const wchar_t* name, HRESULT* status)
{
    std::wstring copy(name);
    LPOLESTR names[1] = {copy.data()};
    DISPID id = 12345;
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (status) *status = hr;
    return id;
}

ModuleTest::ModuleTest() : unload_at_start_(module_.can_unload_now()) {}

void ModuleTest::TearDown()
{
    ASSERT_NE(module_.handle(), nullptr)
        << "the module could not be loaded from " << printable(module_path());
    if (unload_at_start_ == S_OK) {
        EXPECT_EQ(module_.can_unload_now(), S_OK) << "something of the module is still alive";
    }
}

void ServerTest::SetUp()
{
    server_ = create_server();
    ASSERT_TRUE(server_);
}

void ServerTest::TearDown()
{
    if (server_) {
        EXPECT_EQ(refcount(server_.get()), 1u) << "a call kept or dropped a reference";
    }
    server_.reset();
    ModuleTest::TearDown();
}

}  // namespace wt
