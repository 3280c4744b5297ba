#include "tests/pecheck/version_info.h"

#include "tests/pecheck/pe_image.h"

#include <algorithm>

namespace pecheck {
namespace {

std::size_t aligned(std::size_t at) { return (at + 3) & ~std::size_t{3}; }

class Tree {
public:
    explicit Tree(const std::vector<uint8_t>& b) : b_(b) {}

    uint16_t u16(std::size_t at, std::size_t end) const
    {
        if (at + 2 > end || at + 2 > b_.size()) throw BadImage("version block truncated");
        return static_cast<uint16_t>(b_[at] | b_[at + 1] << 8);
    }

    // Reads UTF-16 up to a zero; returns the offset after the zero.
    std::size_t text(std::size_t at, std::size_t end, std::string& out) const
    {
        for (;; at += 2) {
            const uint16_t c = u16(at, end);
            if (c == 0) return at + 2;
            out += c < 0x80 ? static_cast<char>(c) : '?';
        }
    }

    VersionNode node(std::size_t at, std::size_t limit) const
    {
        VersionNode n;
        const uint16_t length = u16(at, limit);
        if (length < 6 || at + length > limit) throw BadImage("version node length out of bounds");
        const std::size_t end = at + length;
        n.value_length = u16(at + 2, end);
        n.type = u16(at + 4, end);
        std::size_t p = aligned(text(at + 6, end, n.key));
        if (n.type == 1) {
            // A text value: value_length counts 16-bit units.
            const std::size_t stop = std::min(end, p + 2u * n.value_length);
            if (n.value_length > 0) {
                std::string value;
                for (std::size_t q = p; q + 2 <= stop; q += 2) {
                    const uint16_t c = u16(q, end);
                    if (c == 0) break;
                    value += c < 0x80 ? static_cast<char>(c) : '?';
                }
                n.text = value;
            }
            p = aligned(stop);
        } else {
            if (p + n.value_length > end) throw BadImage("version value out of bounds");
            n.bytes.assign(b_.begin() + static_cast<std::ptrdiff_t>(p),
                           b_.begin() + static_cast<std::ptrdiff_t>(p + n.value_length));
            p = aligned(p + n.value_length);
        }
        while (p < end) {
            n.children.push_back(node(p, end));
            p = aligned(p + u16(p, end));
        }
        return n;
    }

private:
    const std::vector<uint8_t>& b_;
};

}  // namespace

VersionNode read_version_info(const std::vector<uint8_t>& resource)
{
    return Tree(resource).node(0, resource.size());
}

}  // namespace pecheck
