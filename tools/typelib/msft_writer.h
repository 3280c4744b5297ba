// The module's own type library, built at build time in the compiled "MSFT"
// format and embedded as resource TYPELIB 1.
#pragma once

#include "guid.h"
#include "name_hash.h"

#include <cstdint>
#include <vector>

namespace tlb {

enum class Target { Win32, Win64 };

// File image of the module's type library for `target`: library
// TivOrvantaZNA100 with the dual dispatch interface _CTivOrvantaZNA100 and
// the class CTivOrvantaZNA100, which implements it and the host's IServer.
std::vector<uint8_t> build_module_typelib(Target target);

}  // namespace tlb
