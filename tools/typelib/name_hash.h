// The platform's name hash (LHashValOfNameSys), as the compiled type-library
// format stores it in every name entry and uses it to pick the name's bucket.
#pragma once

#include <cstdint>

namespace tlb {

// Hash of `name` for locale `lcid` on a Windows target: the high word is the
// locale's table id (0x0010 for the Latin table), the low word the string
// hash. Only 7-bit names and locales that use the Latin table are supported;
// anything else throws std::invalid_argument rather than guess.
uint32_t lhash_name_sys(uint32_t lcid, const char* name);

}  // namespace tlb
