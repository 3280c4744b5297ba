#include "guid.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace tlb {

namespace {

int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<Guid> Guid::parse(const std::string& text)
{
    // {01234567-9012-4567-9012-456789012345}
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
        text[14] != '-' || text[19] != '-' || text[24] != '-')
        return std::nullopt;
    // Where each byte of the memory image is written: the leading fields
    // little-endian, the last eight bytes in order.
    static const size_t kByteAt[16] = {7, 5, 3, 1, 12, 10, 17, 15, 20, 22, 25, 27, 29, 31, 33, 35};
    uint8_t b[16];
    for (size_t i = 0; i < 16; ++i) {
        const int high = hex_value(text[kByteAt[i]]), low = hex_value(text[kByteAt[i] + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        b[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return from_bytes(b);
}

Guid Guid::of(const char* text)
{
    const std::optional<Guid> g = parse(text);
    if (!g) throw std::invalid_argument(std::string("malformed GUID literal ") + text);
    return *g;
}

// The three leading fields, as one little-endian 64-bit word, fill the first
// eight bytes.
Guid Guid::from_bytes(const uint8_t* b)
{
    Guid g;
    uint64_t lead = 0;
    for (size_t i = 0; i < 8; ++i) lead |= uint64_t{b[i]} << (8 * i);
    std::copy(b + 8, b + 16, g.data4.begin());
    g.data1 = static_cast<uint32_t>(lead);
    g.data2 = static_cast<uint16_t>(lead >> 32);
    g.data3 = static_cast<uint16_t>(lead >> 48);
    return g;
}

std::array<uint8_t, 16> Guid::bytes() const
{
    const uint64_t lead = data1 | uint64_t{data2} << 32 | uint64_t{data3} << 48;
    std::array<uint8_t, 16> b{};
    for (size_t i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(lead >> (8 * i));
    std::copy(data4.begin(), data4.end(), b.begin() + 8);
    return b;
}

std::string Guid::to_string() const
{
    char buf[39];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(data1), static_cast<unsigned>(data2),
                  static_cast<unsigned>(data3), data4[0], data4[1], data4[2], data4[3], data4[4],
                  data4[5], data4[6], data4[7]);
    return buf;
}

bool operator==(const Guid& a, const Guid& b) { return a.bytes() == b.bytes(); }
bool operator!=(const Guid& a, const Guid& b) { return !(a == b); }

int guid_hash_bucket(const Guid& guid)
{
    const std::array<uint8_t, 16> b = guid.bytes();
    unsigned hash = 0;
    for (size_t i = 0; i < 16; i += 2) hash ^= static_cast<unsigned>(b[i] | b[i + 1] << 8);
    return static_cast<int>(hash & 0x1F);
}

}  // namespace tlb
