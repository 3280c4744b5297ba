// The machine as a Windows host of the probe's bitness sees it: the
// registry view of its bitness and the other one, PE files and their
// version blocks, the platform's type-library loader, creation and messages.
#ifdef _WIN32
#  include "definition/module_identity.h"
#  include "frame/iserver.h"
#  include "frame/server_dispatch_host.h"
#  include "runtime/bstr.h"
#  include "runtime/com_ptr.h"
#  include "tools/probe/host_module.h"
#  include "tools/probe/machine.h"

#  include <iterator>
#  include <vector>

namespace probe::machine {
namespace {

namespace id = orvanta::identity;

std::wstring wide(const std::string& utf8)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], n);
    out.resize(out.size() - 1);
    return out;
}

std::string narrow(const std::wstring& w) { return utf8_of(w.c_str(), w.size()); }

bool under_wow64()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::string version_string(const std::vector<BYTE>& block, const wchar_t* name)
{
    std::wstring query = L"\\StringFileInfo\\040904B0\\";
    query += name;
    wchar_t* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) ||
        !text)
        return "";
    return narrow(std::wstring(text, length && !text[length - 1] ? length - 1 : length));
}

bool library_attributes(const std::string& path, TLIBATTR& out, std::string& error)
{
    rt::ComPtr<ITypeLib> library;
    const HRESULT hr = LoadTypeLibEx(wide(path).c_str(), REGKIND_NONE, library.put());
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(hr) && SUCCEEDED(library->GetLibAttr(&attr)) && attr) {
        out = *attr;
        library->ReleaseTLibAttr(attr);
        return true;
    }
    error = "holds no type library (" + message_of(hr) + ")";
    return false;
}

std::string regsvr32(int bits)
{
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    // A 32-bit host on a 64-bit machine (this process 64-bit, or 32-bit
    // under WOW64) runs the 32-bit tool from SysWOW64.
    const bool wow = bits == 32 && (sizeof(void*) == 8 || under_wow64());
    return narrow(windows) + (wow ? "\\SysWOW64" : "\\System32") + "\\regsvr32.exe";
}

std::string full_path(const std::string& path)
{
    wchar_t buf[MAX_PATH * 4] = {};
    const DWORD n = GetFullPathNameW(wide(path).c_str(), MAX_PATH * 4, buf, nullptr);
    return n > 0 && n < MAX_PATH * 4 ? narrow(buf) : path;
}

}  // namespace

View own_view() { return {0, static_cast<int>(sizeof(void*) * 8)}; }

bool other_view(View& view)
{
    if (sizeof(void*) == 8) {
        view = {KEY_WOW64_32KEY, 32};
        return true;
    }
    if (!under_wow64()) return false;
    view = {KEY_WOW64_64KEY, 64};
    return true;
}

FileFacts inspect(const std::string& path)
{
    FileFacts f;
    const std::wstring name = wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    f.exists = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!f.exists) return f;
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        IMAGE_DOS_HEADER dos{};
        DWORD got = 0;
        DWORD signature = 0;
        IMAGE_FILE_HEADER header{};
        if (ReadFile(file, &dos, sizeof dos, &got, nullptr) && got == sizeof dos &&
            dos.e_magic == IMAGE_DOS_SIGNATURE &&
            SetFilePointer(file, dos.e_lfanew, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
            ReadFile(file, &signature, sizeof signature, &got, nullptr) &&
            signature == IMAGE_NT_SIGNATURE &&
            ReadFile(file, &header, sizeof header, &got, nullptr) && got == sizeof header &&
            (header.Characteristics & IMAGE_FILE_DLL))
            f.bits = header.Machine == IMAGE_FILE_MACHINE_AMD64  ? 64
                     : header.Machine == IMAGE_FILE_MACHINE_I386 ? 32
                                                                 : 0;
        CloseHandle(file);
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &ignored);
    std::vector<BYTE> block(size);
    if (size && GetFileVersionInfoW(name.c_str(), 0, size, block.data())) {
        f.has_version = true;
        f.version = version_string(block, L"FileVersion");
        f.original_name = version_string(block, L"OriginalFilename");
    }
    return f;
}

bool same_library(const std::string& path, const std::string& module_path, std::string& detail)
{
    TLIBATTR found{}, embedded{};
    if (!library_attributes(path, found, detail)) return false;
    std::string ignored;
    if (!library_attributes(module_path, embedded, ignored)) {
        detail = "the module at " + module_path + " embeds no library to compare with";
        return false;
    }
    if (IsEqualGUID(found.guid, embedded.guid) && found.wMajorVerNum == embedded.wMajorVerNum &&
        found.wMinorVerNum == embedded.wMinorVerNum && found.syskind == embedded.syskind &&
        found.lcid == embedded.lcid)
        return true;
    detail = "holds another library than the one " + module_path + " embeds";
    return false;
}

bool host_library_lays_out_server(bool& checked, std::string& detail)
{
    checked = true;
    rt::ComPtr<ITypeLib> library;
    const HRESULT hr = LoadRegTypeLib(LIBID_TivDefn, id::kHostLibraryMajor, id::kHostLibraryMinor,
                                      0, library.put());
    if (FAILED(hr)) {
        detail = "cannot be loaded (" + message_of(hr) + ")";
        return false;
    }
    // The module's own acceptance, decided here as for a new instance.
    orvanta::HostDispatch host;
    if (!host.serves()) {
        detail = "its IServer is not laid out as the module implements it";
        return false;
    }
    detail = "its IServer laid out as the module implements it";
    return true;
}

HRESULT create_and_call(bool by_program_id, std::string& server_guid)
{
    CLSID clsid = CLSID_CTivOrvantaZNA100;
    if (by_program_id) {
        const HRESULT hr = CLSIDFromProgID(wide(std::string(id::kProgramId)).c_str(), &clsid);
        if (FAILED(hr)) return hr;
    }
    rt::ComPtr<IServer> server;
    HRESULT hr =
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IServer, server.put_void());
    if (FAILED(hr)) return hr;
    rt::BStr guid;
    hr = server->get_ServerGUID(guid.put());
    if (SUCCEEDED(hr)) server_guid = utf8_of(guid.get(), guid.length());
    return hr;
}

std::string message_of(HRESULT status)
{
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(status), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : L"";
    LocalFree(text);
    message.erase(message.find_last_not_of(L"\r\n .") + 1);
    if (!message.empty()) return narrow(message);
    const std::string known = known_message(status);
    return known.empty() ? "the platform has no message for this status" : known;
}

std::string register_command(const std::string& module_path, int bits)
{
    return regsvr32(bits) + " \"" + full_path(module_path) + "\"";
}

std::string repair_command(int bits)
{
    return "msiexec /fa " + std::string(id::kModuleName) + "-" + std::to_string(id::kVersionMajor) +
           "." + std::to_string(id::kVersionMinor) + "." + std::to_string(id::kVersionPatch) + "." +
           std::to_string(id::kVersionBuild) + (bits == 64 ? "-x64" : "-x86") + ".msi";
}

}  // namespace probe::machine
#endif
