// Four 16-bit text units as one word, the first unit in the low bits: what
// one little-endian load reads, written so that it also runs at compile time
// (the compiler makes it that one load).
#pragma once

#include <cstdint>

namespace orvanta {

template <class Unit>
constexpr uint64_t word_at(const Unit* p) noexcept
{
    static_assert(sizeof(Unit) == 2, "16-bit units");
    return static_cast<uint64_t>(static_cast<uint16_t>(p[0])) |
           static_cast<uint64_t>(static_cast<uint16_t>(p[1])) << 16 |
           static_cast<uint64_t>(static_cast<uint16_t>(p[2])) << 32 |
           static_cast<uint64_t>(static_cast<uint16_t>(p[3])) << 48;
}

}  // namespace orvanta
