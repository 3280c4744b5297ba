// Internals shared by the MSFT reader's translation units.
#pragma once

#include "tools/typelib/msft_format.h"
#include "tests/support/msft_reader.h"

#include <stdexcept>
#include <string>

namespace tlb {
namespace msft_detail {

using namespace msft;

constexpr uint32_t kHelpDllFlag = 0x100;
constexpr uint8_t kCoclass = 5;

struct Malformed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Bounds-checked little-endian access to the image.
class View {
public:
    View(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    void need(size_t at, size_t length, const std::string& what) const
    {
        if (at > size_ || length > size_ - at)
            throw Malformed(what + " runs past the end of the image");
    }
    uint16_t u16(size_t at) const
    {
        need(at, 2, "16-bit value");
        return static_cast<uint16_t>(data_[at] | data_[at + 1] << 8);
    }
    uint32_t u32(size_t at) const
    {
        return static_cast<uint32_t>(u16(at)) | static_cast<uint32_t>(u16(at + 2)) << 16;
    }
    int32_t i32(size_t at) const { return static_cast<int32_t>(u32(at)); }
    Guid guid(size_t at) const { return need(at, 16, "GUID"), Guid::from_bytes(data_ + at); }
    std::string text(size_t at, size_t length) const
    {
        need(at, length, "text");
        return std::string(reinterpret_cast<const char*>(data_ + at), length);
    }

private:
    const uint8_t* data_;
    size_t size_;
};

// A directory entry checked against the image: absolute start and length.
struct Segment {
    size_t start = 0;
    size_t length = 0;

    // Absolute position of `length` bytes at `rel` inside the segment.
    size_t at(size_t rel, size_t bytes, const std::string& what) const
    {
        if (rel > length || bytes > length - rel) throw Malformed(what + " runs past its segment");
        return start + rel;
    }
};

size_t round4(size_t n);
Segment segment(const MsftImage& image, SegmentIndex index);
const GuidEntry& guid_at(const MsftImage& image, int32_t offset, const char* what);
std::string name_at(const MsftImage& image, int32_t offset, const char* what);

void read_imports(const View& v, MsftImage& image);
void read_typeinfos(const View& v, MsftImage& image);

}  // namespace msft_detail
}  // namespace tlb
