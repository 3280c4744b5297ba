#include "limits.h"

namespace orvanta {
namespace {

// FNV-1a over the 16-bit units. Every row is a 38-unit GUID, so any other
// length misses without hashing at all.
constexpr uint32_t hash_units(std::u16string_view text) noexcept
{
    uint32_t h = 2166136261u;
    for (char16_t unit : text) {
        h = (h ^ static_cast<uint32_t>(unit & 0xFF)) * 16777619u;
        h = (h ^ static_cast<uint32_t>(unit >> 8)) * 16777619u;
    }
    return h;
}

// Open addressing with linear probing, built at compile time: a constant of
// the module like the rows themselves, never written at run time.
constexpr std::size_t kSlots = 256;
constexpr uint8_t kEmpty = 0xFF;

struct LimitIndex {
    std::array<uint8_t, kSlots> row{};
};

constexpr LimitIndex build_index()
{
    LimitIndex index{};
    for (auto& slot : index.row) slot = kEmpty;
    for (std::size_t r = 0; r < kLimitRows.size(); ++r) {
        std::size_t s = hash_units(kLimitRows[r].guid) % kSlots;
        while (index.row[s] != kEmpty) s = (s + 1) % kSlots;
        index.row[s] = static_cast<uint8_t>(r);
    }
    return index;
}

constexpr bool all_rows_are_guids()
{
    for (const auto& row : kLimitRows)
        if (row.guid.size() != kGuidLength) return false;
    return true;
}
static_assert(all_rows_are_guids(), "the length test below assumes every key is a GUID");
static_assert(kLimitRows.size() < kEmpty, "row numbers must fit a slot");

constexpr LimitIndex kIndex = build_index();

}  // namespace

LimitAnswer find_limit(std::u16string_view component_guid) noexcept
{
    if (component_guid.size() != kGuidLength) return kDefaultLimit;
    for (std::size_t s = hash_units(component_guid) % kSlots;; s = (s + 1) % kSlots) {
        const uint8_t r = kIndex.row[s];
        if (r == kEmpty) return kDefaultLimit;
        const LimitRow& row = kLimitRows[r];
        if (row.guid == component_guid) return {row.family_total, row.maximum};
    }
}

LimitAnswer find_limit_by_scan(std::u16string_view component_guid) noexcept
{
    for (const LimitRow& row : kLimitRows)
        if (row.guid == component_guid) return {row.family_total, row.maximum};
    return kDefaultLimit;
}

}  // namespace orvanta
