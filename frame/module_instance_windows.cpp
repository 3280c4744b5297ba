// The module's load notification and its handle on Windows.
#ifdef _WIN32
#  include "frame/module_instance.h"

#  include <new>

namespace {

// Set once, when the process attaches, before any other entry point can run.
HINSTANCE g_module = nullptr;

}  // namespace

// The per-thread state of the C++ runtime is kept by its own thread
// notifications, so thread attach and detach are left enabled.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

namespace orvanta {

HRESULT module_file_name(PathText& path) noexcept
{
    path.clear();
    try {
        PathText buffer(MAX_PATH, L'\0');
        for (;;) {
            const DWORD size = static_cast<DWORD>(buffer.size());
            const DWORD n = GetModuleFileNameW(g_module, &buffer[0], size);
            if (n == 0) {
                const DWORD error = GetLastError();
                return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
            }
            if (n < size) {
                buffer.resize(n);
                path.swap(buffer);
                return S_OK;
            }
            // Truncated: try again with twice the room.
            buffer.assign(buffer.size() * 2, L'\0');
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace orvanta
#endif
