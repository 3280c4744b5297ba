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

    void u16(uint16_t v) { put(v, 2); }
    // Each value as 32 bits, in order: signed offsets and unsigned fields alike.
    template <class... Values>
    void words(Values... values)
    {
        (put(static_cast<uint32_t>(values), 4), ...);
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
        while (bytes_.size() % 4) bytes_.push_back(fill);
    }

private:
    // The low `count` bytes of `v`, least significant first.
    void put(uint32_t v, int count)
    {
        for (int i = 0; i < count; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }

    std::vector<uint8_t> bytes_;
};

}  // namespace tlb
