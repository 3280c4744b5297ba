#include "guid.h"

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

// Reads `digits` hex digits at `pos`; false if any is not a hex digit.
bool read_hex(const std::string& text, size_t pos, int digits, uint32_t& out)
{
    out = 0;
    for (int i = 0; i < digits; ++i) {
        const int v = hex_value(text[pos + static_cast<size_t>(i)]);
        if (v < 0) return false;
        out = (out << 4) | static_cast<uint32_t>(v);
    }
    return true;
}

}  // namespace

std::optional<Guid> Guid::parse(const std::string& text)
{
    // {01234567-9012-4567-9012-456789012345}
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
        text[14] != '-' || text[19] != '-' || text[24] != '-')
        return std::nullopt;
    Guid g;
    uint32_t v = 0;
    if (!read_hex(text, 1, 8, v)) return std::nullopt;
    g.data1 = v;
    if (!read_hex(text, 10, 4, v)) return std::nullopt;
    g.data2 = static_cast<uint16_t>(v);
    if (!read_hex(text, 15, 4, v)) return std::nullopt;
    g.data3 = static_cast<uint16_t>(v);
    static const size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (size_t i = 0; i < 8; ++i) {
        if (!read_hex(text, kByteAt[i], 2, v)) return std::nullopt;
        g.data4[i] = static_cast<uint8_t>(v);
    }
    return g;
}

Guid Guid::of(const char* text)
{
    const std::optional<Guid> g = parse(text);
    if (!g) throw std::invalid_argument(std::string("malformed GUID literal ") + text);
    return *g;
}

Guid Guid::from_bytes(const uint8_t* b)
{
    Guid g;
    g.data1 = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
              static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    g.data2 = static_cast<uint16_t>(b[4] | b[5] << 8);
    g.data3 = static_cast<uint16_t>(b[6] | b[7] << 8);
    for (size_t i = 0; i < 8; ++i) g.data4[i] = b[8 + i];
    return g;
}

std::array<uint8_t, 16> Guid::bytes() const
{
    std::array<uint8_t, 16> b{};
    for (int i = 0; i < 4; ++i) b[static_cast<size_t>(i)] = static_cast<uint8_t>(data1 >> (8 * i));
    b[4] = static_cast<uint8_t>(data2);
    b[5] = static_cast<uint8_t>(data2 >> 8);
    b[6] = static_cast<uint8_t>(data3);
    b[7] = static_cast<uint8_t>(data3 >> 8);
    for (size_t i = 0; i < 8; ++i) b[8 + i] = data4[i];
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
