#include "name_hash.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>

namespace tlb {

namespace {

// Primary languages whose names are hashed with the Latin table: Danish,
// German, English, Finnish, French, Italian, Dutch, Portuguese, Swedish. Only
// the ones we can vouch for; others raise instead of producing a wrong hash.
bool uses_latin_table(uint32_t lcid)
{
    const uint32_t kLatin[] = {0x06, 0x07, 0x09, 0x0B, 0x0C, 0x10, 0x13, 0x16, 0x1D};
    return std::find(std::begin(kLatin), std::end(kLatin), lcid & 0x3FF) != std::end(kLatin);
}

// The Latin table's value for a 7-bit character: letters fold to upper case,
// and the table then merges W into V and Y into U; '/' counts as 0; every
// other character stands for itself.
uint32_t latin_weight(unsigned char c)
{
    if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
    if (c == 'W') return 'V';
    if (c == 'Y') return 'U';
    if (c == '/') return 0;
    return c;
}

constexpr uint32_t kLatinTableId = 0x0010;
constexpr uint32_t kSeed = 0x0DEADBEE;
constexpr uint32_t kPrime = 65599;

}  // namespace

uint32_t lhash_name_sys(uint32_t lcid, const char* name)
{
    if (!uses_latin_table(lcid))
        throw std::invalid_argument("no name hash table known for locale " + std::to_string(lcid));
    // 32-bit wrap-around arithmetic is part of the hash.
    uint32_t x = kSeed;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        if (*p > 0x7F) throw std::invalid_argument("name hash supports 7-bit names only");
        x = 37u * x + latin_weight(*p);
    }
    return kLatinTableId << 16 | ((x % kPrime) & 0xFFFF);
}

}  // namespace tlb
