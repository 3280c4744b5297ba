// GUIDs as the compiled type-library format stores them, plus the bucket
// function of its GUID hash table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tlb {

// Field layout of the platform's GUID; bytes() gives its 16-byte memory
// image (the three leading fields little-endian).
struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    // Registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", either case.
    static std::optional<Guid> parse(const std::string& text);
    // As parse(), for literals known to be well formed; throws otherwise.
    static Guid of(const char* text);
    static Guid from_bytes(const uint8_t* bytes16);

    std::array<uint8_t, 16> bytes() const;
    // Registry form, upper-case hexadecimal.
    std::string to_string() const;
};

bool operator==(const Guid& a, const Guid& b);
bool operator!=(const Guid& a, const Guid& b);

// Bucket (0..31) of a GUID in the 0x80-byte GUID hash segment: the XOR of
// the eight 16-bit little-endian words of its memory image, low five bits.
int guid_hash_bucket(const Guid& guid);

}  // namespace tlb
