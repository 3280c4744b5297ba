// A reader of the version resource: the VS_VERSIONINFO tree of nodes
// {length, value length, type, key, value, children}, each aligned to 32 bits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pecheck {

struct VersionNode {
    std::string key;    // ASCII
    uint16_t type = 0;  // 1: text value, 0: binary value
    uint16_t value_length = 0;
    std::string text;            // a text value, up to its terminating zero
    std::vector<uint8_t> bytes;  // a binary value
    std::vector<VersionNode> children;

    const VersionNode* child(const std::string& name) const
    {
        for (const VersionNode& c : children)
            if (c.key == name) return &c;
        return nullptr;
    }
};

// Throws BadImage (pe_image.h) for a damaged tree.
VersionNode read_version_info(const std::vector<uint8_t>& resource);

}  // namespace pecheck
