#include "wine_support.h"

#include <algorithm>
#include <cstdio>

namespace wt {

IUnknown* identity_of(IUnknown* object)
{
    IUnknown* unknown = nullptr;
    if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown))) || !unknown)
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

std::string narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c) & 0xFFFFu);
            out += buffer;
        }
    }
    return out;
}

std::string hex(HRESULT status)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(status));
    return buffer;
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
            std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), bytes / sizeof(wchar_t));
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
    const HRESULT hr = CoCreateInstance(expected::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IServer,
                                        server.put_void());
    EXPECT_EQ(hr, S_OK) << hex(hr);
    EXPECT_NE(server.get(), nullptr);
    return server;
}

bool host_library_registered()
{
    BSTR path = nullptr;
    const HRESULT hr =
        QueryPathOfRegTypeLib(expected::kHostLibid, expected::kHostLibMajor, expected::kHostLibMinor, 0, &path);
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

void invoke(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> arguments, CallResult& out)
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

VARIANT string_value(BSTR s)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = s;
    return v;
}

VARIANT string_reference(BSTR* s)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR | VT_BYREF;
    v.pbstrVal = s;
    return v;
}

VARIANT long_value(LONG n)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}

VARIANT bool_reference(VARIANT_BOOL* b)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL | VT_BYREF;
    v.pboolVal = b;
    return v;
}

// ---- collections ----

LONG count_of(_Collection* list)
{
    LONG n = -1;
    const HRESULT hr = list->Count(&n);
    EXPECT_EQ(hr, S_OK) << hex(hr);
    return n;
}

namespace {

std::wstring element_text(const VARIANT& v, const std::string& where)
{
    EXPECT_EQ(v.vt, VT_BSTR) << where;
    return v.vt == VT_BSTR ? text_of(v.bstrVal) : std::wstring();
}

}  // namespace

std::vector<std::wstring> items_by_position(_Collection* list)
{
    std::vector<std::wstring> out;
    const LONG n = count_of(list);
    for (LONG i = 1; i <= n; ++i) {
        VARIANT index = long_value(i);
        Variant value;
        const HRESULT hr = list->Item(&index, value.put());
        EXPECT_EQ(hr, S_OK) << "Item(" << i << "): " << hex(hr);
        out.push_back(element_text(*value, "position " + std::to_string(i)));
    }
    return out;
}

std::vector<std::wstring> items_by_key(_Collection* list, const std::vector<std::wstring>& keys)
{
    std::vector<std::wstring> out;
    for (const std::wstring& key : keys) {
        Bstr text(key);
        VARIANT index = string_value(text.get());
        Variant value;
        const HRESULT hr = list->Item(&index, value.put());
        EXPECT_EQ(hr, S_OK) << "Item(\"" << narrow(key) << "\"): " << hex(hr);
        out.push_back(element_text(*value, "key " + narrow(key)));
    }
    return out;
}

std::vector<std::wstring> items_by_enumeration(_Collection* list)
{
    std::vector<std::wstring> out;
    Ref<IUnknown> unknown;
    HRESULT hr = list->_NewEnum(unknown.put());
    EXPECT_EQ(hr, S_OK) << "_NewEnum: " << hex(hr);
    if (!unknown) return out;
    Ref<IEnumVARIANT> items;
    hr = unknown->QueryInterface(IID_IEnumVARIANT, items.put_void());
    EXPECT_EQ(hr, S_OK) << "IEnumVARIANT: " << hex(hr);
    if (!items) return out;
    for (int guard = 0; guard < 100000; ++guard) {
        Variant value;
        ULONG fetched = 99;
        hr = items->Next(1, value.put(), &fetched);
        if (hr != S_OK) {
            EXPECT_EQ(hr, S_FALSE) << hex(hr);
            EXPECT_EQ(fetched, 0u);
            break;
        }
        EXPECT_EQ(fetched, 1u);
        out.push_back(element_text(*value, "enumerated element " + std::to_string(out.size() + 1)));
    }
    return out;
}

std::vector<std::wstring> expected_catalogue()
{
    return std::vector<std::wstring>(std::begin(expected::kCatalogue), std::end(expected::kCatalogue));
}

ModuleTest::ModuleTest() : unload_at_start_(module_.can_unload_now()) {}

void ModuleTest::TearDown()
{
    ASSERT_NE(module_.handle(), nullptr) << "the module could not be loaded from " << narrow(module_path());
    if (unload_at_start_ == S_OK) {
        EXPECT_EQ(module_.can_unload_now(), S_OK) << "something of the module is still alive";
    }
}

}  // namespace wt
