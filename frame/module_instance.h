// The module as a file: where the loaded module lives, for registration and
// for loading its own type library.
#pragma once

#include "runtime/automation.h"

#include <exception>
#include <string>

namespace orvanta {

using PathText = std::basic_string<OLECHAR>;

// The full path of this module's file: on Windows the path the loader reports
// for the module's handle, elsewhere the resolved path of the shared object
// (or program) that holds this code. E_OUTOFMEMORY or the platform's failure
// as an HRESULT when it cannot be had; `path` is then empty.
HRESULT module_file_name(PathText& path) noexcept;

// On Windows this toolchain's C++ runtime allocates a thread's exception
// state on its first use and ends the process when that fails. It is asked
// for here, wherever a thread may first run the module's code (the module's
// load, each thread's start, DllGetClassObject for threads older than the
// module), so that an exception thrown when memory has run out never makes
// that first allocation. Elsewhere the state is ordinary thread-local storage.
inline void claim_exception_state() noexcept
{
#ifdef _WIN32
    static_cast<void>(std::uncaught_exceptions());
#endif
}

}  // namespace orvanta
