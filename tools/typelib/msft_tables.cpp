#include "msft_tables.h"

#include "msft_format.h"
#include "name_hash.h"

#include <stdexcept>

namespace tlb {

namespace {

using msft::kGuidEntrySize;
constexpr size_t kNamePrefix = 12;
constexpr uint8_t kTypeInfoNameFlags = 0x38;  // what the writer stores for typeinfo names
constexpr uint8_t kFiller = 0x57;             // 'W'

}  // namespace

int32_t GuidTable::add(const Guid& guid, int32_t href)
{
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].guid == guid) return static_cast<int32_t>(i * kGuidEntrySize);
    const int32_t offset = static_cast<int32_t>(entries_.size() * kGuidEntrySize);
    const size_t bucket = static_cast<size_t>(guid_hash_bucket(guid));
    entries_.push_back({guid, href, buckets_[bucket]});
    buckets_[bucket] = offset;
    return offset;
}

void GuidTable::write_entries(ByteWriter& out) const
{
    for (const Entry& e : entries_) {
        out.append(e.guid.bytes());
        out.words(e.href, e.next);
    }
}

int32_t NameTable::add(const std::string& name)
{
    for (const Entry& e : entries_)
        if (e.name == name) return e.offset;
    if (name.empty() || name.size() > 0xFF)
        throw std::invalid_argument("name length out of range: '" + name + "'");
    const uint16_t hash = static_cast<uint16_t>(lhash_name_sys(lcid_, name.c_str()));
    const size_t bucket = hash & 0x7F;
    const int32_t offset = next_offset_;
    entries_.push_back({name, offset, -1, buckets_[bucket], 0, hash});
    buckets_[bucket] = offset;
    // The next record starts after this one, padded to four bytes.
    next_offset_ += static_cast<int32_t>((kNamePrefix + name.size() + 3) & ~size_t{3});
    return offset;
}

void NameTable::mark_typeinfo_name(int32_t offset, int32_t href)
{
    for (Entry& e : entries_) {
        if (e.offset == offset) {
            e.href = href;
            e.flags = kTypeInfoNameFlags;
            return;
        }
    }
    throw std::logic_error("no name entry at offset " + std::to_string(offset));
}

size_t NameTable::total_chars() const
{
    size_t n = 0;
    for (const Entry& e : entries_) n += e.name.size();
    return n;
}

void NameTable::write_entries(ByteWriter& out) const
{
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        // Names of no typeinfo refer to nothing (-1), except that the writer
        // leaves the last entry's reference at 0.
        const bool last = i + 1 == entries_.size();
        const int32_t href = e.flags == kTypeInfoNameFlags ? e.href : last ? 0 : -1;
        out.words(href, e.next,
                  static_cast<uint32_t>(e.name.size()) | static_cast<uint32_t>(e.flags) << 8 |
                      static_cast<uint32_t>(e.hash) << 16);
        out.append(e.name);
        out.pad4(kFiller);
    }
}

}  // namespace tlb
