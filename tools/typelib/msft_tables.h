// The GUID and name tables of an MSFT image, each with its hash segment,
// built the way the platform's writer builds them: entries in the order they
// were first added, duplicates folded into the first entry, every new entry
// pushed onto the front of its hash bucket's chain.
#pragma once

#include "byte_writer.h"
#include "guid.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tlb {

class GuidTable {
public:
    // Offset of the entry for `guid`; a GUID already present keeps its entry
    // (and its first type reference).
    int32_t add(const Guid& guid, int32_t href);
    size_t count() const { return entries_.size(); }
    void write_entries(ByteWriter& out) const;
    // 32 buckets, 0x80 bytes.
    void write_hash(ByteWriter& out) const
    {
        for (int32_t head : buckets_) out.words(head);
    }

private:
    struct Entry {
        Guid guid;
        int32_t href;
        int32_t next;
    };
    std::vector<Entry> entries_;
    std::vector<int32_t> buckets_ = std::vector<int32_t>(32, -1);
};

class NameTable {
public:
    explicit NameTable(uint32_t hash_lcid) : lcid_(hash_lcid) {}

    // Offset of the entry for `name` (an existing entry if already present).
    int32_t add(const std::string& name);
    // Marks the entry at `offset` as the name of the typeinfo `href`.
    void mark_typeinfo_name(int32_t offset, int32_t href);

    size_t count() const { return entries_.size(); }
    size_t total_chars() const;
    // Entries are 12 bytes {href, next in bucket, length | flags << 8 |
    // hash << 16} plus the name padded with 'W' to four bytes.
    void write_entries(ByteWriter& out) const;
    // 128 buckets, 0x200 bytes.
    void write_hash(ByteWriter& out) const
    {
        for (int32_t head : buckets_) out.words(head);
    }

private:
    struct Entry {
        std::string name;
        int32_t offset;
        int32_t href;
        int32_t next;
        uint8_t flags;
        uint16_t hash;
    };
    uint32_t lcid_;
    int32_t next_offset_ = 0;
    std::vector<Entry> entries_;
    std::vector<int32_t> buckets_ = std::vector<int32_t>(128, -1);
};

}  // namespace tlb
