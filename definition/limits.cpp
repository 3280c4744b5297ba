#include "limits.h"
#include "runtime/unit_words.h"

#include <cstring>

namespace orvanta {
namespace {

using rt::word_at;

// Every row is a 38-unit GUID, so any other length misses without hashing
// at all. The rows already differ in their first group (units 1 to 8), so
// the index hashes those eight units, as two words each multiplied by its
// own odd constant; the exact comparison of all 38 units that follows is
// what decides. (Were two rows ever to share a first group, no index could
// separate them and the build would stop at the static_assert below.)
constexpr uint64_t kMultipliers[2] = {0x9E3779B97F4A7C15u, 0xC2B2AE3D27D4EB4Fu};

constexpr uint64_t hash_units(std::u16string_view guid) noexcept
{
    const char16_t* p = guid.data();
    const uint64_t h = word_at(p + 1) * kMultipliers[0] + word_at(p + 5) * kMultipliers[1];
    return h ^ (h >> 29);
}

// Exact comparison of two GUIDs' 38 units: nine words and a pair, their
// differences gathered into one value, with no branch until the end.
inline uint64_t bits_at(const char16_t* p, std::size_t unit) noexcept
{
    uint64_t w;
    std::memcpy(&w, p + unit, sizeof w);
    return w;
}

inline uint32_t pair_bits_at(const char16_t* p, std::size_t unit) noexcept
{
    uint32_t w;
    std::memcpy(&w, p + unit, sizeof w);
    return w;
}

bool same_guid(const char16_t* a, const char16_t* b) noexcept
{
    const uint64_t differ = (bits_at(a, 0) ^ bits_at(b, 0)) | (bits_at(a, 4) ^ bits_at(b, 4)) |
                            (bits_at(a, 8) ^ bits_at(b, 8)) | (bits_at(a, 12) ^ bits_at(b, 12)) |
                            (bits_at(a, 16) ^ bits_at(b, 16)) | (bits_at(a, 20) ^ bits_at(b, 20)) |
                            (bits_at(a, 24) ^ bits_at(b, 24)) | (bits_at(a, 28) ^ bits_at(b, 28)) |
                            (bits_at(a, 32) ^ bits_at(b, 32)) |
                            (pair_bits_at(a, 36) ^ pair_bits_at(b, 36));
    return differ == 0;
}

// A perfect index, built at compile time: a bucket multiplier is searched for
// that sends the 81 rows to 81 different buckets, so every lookup reads one
// bucket. Each row's hash is kept beside the rows, so a text that lands on
// another row's bucket is turned away without comparing text. A constant of
// the module like the rows themselves, never written at run time.
constexpr unsigned kBucketBits = 10;
constexpr std::size_t kBuckets = std::size_t{1} << kBucketBits;
constexpr uint8_t kEmpty = 0xFF;

constexpr std::size_t bucket_of(uint64_t hash, uint64_t multiplier) noexcept
{
    return static_cast<std::size_t>((hash * multiplier) >> (64 - kBucketBits));
}

// Each row's text and answer are copied into the index, beside its hash,
// so a lookup reads the bucket and then one record.
struct IndexedRow {
    char16_t guid[kGuidLength] = {};
    bool family_total = false;
    int32_t maximum = 0;
    uint64_t hash = 0;
};

struct LimitIndex {
    uint64_t multiplier = 0;
    std::array<uint8_t, kBuckets> row{};
    std::array<IndexedRow, kLimitRows.size()> rows{};
};

constexpr LimitIndex build_index()
{
    LimitIndex index{};
    for (std::size_t r = 0; r < kLimitRows.size(); ++r) {
        IndexedRow& x = index.rows[r];
        for (std::size_t i = 0; i < kGuidLength; ++i) x.guid[i] = kLimitRows[r].guid[i];
        x.family_total = kLimitRows[r].family_total;
        x.maximum = kLimitRows[r].maximum;
        x.hash = hash_units(kLimitRows[r].guid);
    }
    for (uint64_t attempt = 0; attempt < 4096; ++attempt) {
        const uint64_t multiplier = 0x9E3779B97F4A7C15u * (2 * attempt + 1);
        for (auto& bucket : index.row) bucket = kEmpty;
        bool distinct = true;
        for (std::size_t r = 0; r < kLimitRows.size() && distinct; ++r) {
            uint8_t& bucket = index.row[bucket_of(index.rows[r].hash, multiplier)];
            distinct = bucket == kEmpty;
            bucket = static_cast<uint8_t>(r);
        }
        if (distinct) {
            index.multiplier = multiplier;
            return index;
        }
    }
    return index;  // multiplier 0: caught below
}

constexpr bool all_rows_are_guids()
{
    for (const auto& row : kLimitRows)
        if (row.guid.size() != kGuidLength) return false;
    return true;
}
static_assert(all_rows_are_guids(), "the length test below assumes every key is a GUID");
static_assert(kLimitRows.size() < kEmpty, "row numbers must fit a bucket");

constexpr LimitIndex kIndex = build_index();
static_assert(kIndex.multiplier != 0, "no bucket multiplier separates the rows");

}  // namespace

LimitAnswer find_limit(std::u16string_view component_guid) noexcept
{
    if (component_guid.size() != kGuidLength) return kDefaultLimit;
    const uint64_t h = hash_units(component_guid);
    const uint8_t r = kIndex.row[bucket_of(h, kIndex.multiplier)];
    if (r == kEmpty) return kDefaultLimit;
    const IndexedRow& row = kIndex.rows[r];
    if (row.hash != h || !same_guid(row.guid, component_guid.data())) return kDefaultLimit;
    return {row.family_total, row.maximum};
}

}  // namespace orvanta
