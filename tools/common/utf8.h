// 16-bit text (the runtime's strings, registry names) as UTF-8, for printing.
// A surrogate without its partner becomes U+FFFD rather than garbage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace text {

template <class Unit>
std::string utf8_of(const Unit* units, std::size_t length)
{
    static_assert(sizeof(Unit) == 2, "16-bit text");
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        uint32_t c = static_cast<uint16_t>(units[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < length) {
            const uint32_t low = static_cast<uint16_t>(units[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace text
