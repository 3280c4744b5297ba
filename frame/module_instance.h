// The module as a file: where the loaded module lives, for registration and
// for loading its own type library.
#pragma once

#include "runtime/automation.h"

#include <string>

namespace orvanta {

using PathText = std::basic_string<OLECHAR>;

// The full path of this module's file: on Windows the path the loader reports
// for the module's handle, elsewhere the resolved path of the shared object
// (or program) that holds this code. E_OUTOFMEMORY or the platform's failure
// as an HRESULT when it cannot be had; `path` is then empty.
HRESULT module_file_name(PathText& path) noexcept;

}  // namespace orvanta
