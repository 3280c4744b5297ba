// Little-endian byte sink for building file images independently of the
// host's byte order.
#pragma once

#include <cstdint>
#include <iterator>
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
    // Each value as 32 bits, in order: signed offsets and unsigned fields alike.
    template <class... Values>
    void words(Values... values)
    {
        (u32(static_cast<uint32_t>(values)), ...);
    }
    // Any sequence of bytes: an image, a GUID's memory image, a name's characters.
    template <class Bytes>
    void append(const Bytes& b)
    {
        bytes_.insert(bytes_.end(), std::begin(b), std::end(b));
    }
    // Pads with `fill` up to the next multiple of four.
    void pad4(uint8_t fill)
    {
        while (bytes_.size() % 4) u8(fill);
    }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace tlb
