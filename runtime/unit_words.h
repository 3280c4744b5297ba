// Four 16-bit text units as one word, the first unit in the low bits: one
// load at run time (on the little-endian processors the module is built
// for), the same value assembled unit by unit at compile time.
#pragma once

#include <cstdint>
#include <cstring>

namespace rt {

template <class Unit>
constexpr uint64_t word_at(const Unit* p) noexcept
{
    static_assert(sizeof(Unit) == 2, "16-bit units");
    if (!__builtin_is_constant_evaluated()) {
        uint64_t w = 0;
        std::memcpy(&w, p, sizeof w);
        return w;
    }
    return static_cast<uint64_t>(static_cast<uint16_t>(p[0])) |
           static_cast<uint64_t>(static_cast<uint16_t>(p[1])) << 16 |
           static_cast<uint64_t>(static_cast<uint16_t>(p[2])) << 32 |
           static_cast<uint64_t>(static_cast<uint16_t>(p[3])) << 48;
}

}  // namespace rt
