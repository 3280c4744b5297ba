// Little-endian byte sink for building file images independently of the
// host's byte order.
#pragma once

#include "guid.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tlb {

class ByteWriter {
public:
    size_t size() const { return bytes_.size(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t> take() { return std::move(bytes_); }

    void u8(uint8_t v) { bytes_.push_back(v); }
    void u16(uint16_t v)
    {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v)
    {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void guid(const Guid& g)
    {
        for (uint8_t b : g.bytes()) u8(b);
    }
    void text(const std::string& s) { bytes_.insert(bytes_.end(), s.begin(), s.end()); }
    void append(const std::vector<uint8_t>& other)
    {
        bytes_.insert(bytes_.end(), other.begin(), other.end());
    }
    // Pads with `fill` up to the next multiple of four.
    void pad4(uint8_t fill)
    {
        while (bytes_.size() % 4) u8(fill);
    }
    // Overwrites a 32-bit value already written (for forward links).
    void patch_i32(size_t at, int32_t v)
    {
        const uint32_t u = static_cast<uint32_t>(v);
        for (size_t i = 0; i < 4; ++i) bytes_.at(at + i) = static_cast<uint8_t>(u >> (8 * i));
    }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace tlb
