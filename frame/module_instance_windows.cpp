// The module's load notification and its handle on Windows.
#ifdef _WIN32
#  include "frame/error_record.h"
#  include "frame/module_instance.h"

#  include <new>

namespace {

// Set once, when the process attaches, before any other entry point can run.
HINSTANCE g_module = nullptr;

}  // namespace

// The C++ runtime's exception state is claimed when the module is loaded
// and whenever a thread starts (module_instance.h says why). The per-thread
// state of the C++ runtime is kept by its own thread notifications, and the error records
// by the thread detach below, so thread attach and detach are left enabled.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        g_module = instance;
        orvanta::error_records_attach();
        orvanta::claim_exception_state();
        break;
    case DLL_THREAD_ATTACH: orvanta::claim_exception_state(); break;
    case DLL_THREAD_DETACH: orvanta::error_record_thread_ended(); break;
    case DLL_PROCESS_DETACH:
        // When the process ends, its other threads are gone without their
        // notifications and their memory goes with the process.
        if (!reserved) orvanta::error_records_detach();
        break;
    }
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
