#include "tests/support/msft_reader.h"

#include "tests/support/msft_reader_detail.h"

namespace tlb {
namespace msft_detail {

size_t round4(size_t n) { return (n + 3) & ~size_t{3}; }

Segment segment(const MsftImage& image, SegmentIndex index)
{
    const SegmentEntry& e = image.segments[index];
    if (e.offset < 0) return {};
    return {static_cast<size_t>(e.offset), static_cast<size_t>(e.length)};
}

const GuidEntry& guid_at(const MsftImage& image, int32_t offset, const char* what)
{
    for (const GuidEntry& g : image.guids)
        if (g.offset == offset) return g;
    throw Malformed(std::string(what) + " refers to no GUID entry");
}

std::string name_at(const MsftImage& image, int32_t offset, const char* what)
{
    if (offset == -1) return {};
    for (const NameEntry& n : image.names)
        if (n.offset == offset) return n.name;
    throw Malformed(std::string(what) + " refers to no name entry");
}

}  // namespace msft_detail

namespace {

using namespace msft_detail;

void read_header(const View& v, MsftImage& image)
{
    v.need(0, kHeaderSize, "header");
    MsftHeader& h = image.header;
    h.magic = v.u32(0x00);
    h.format_version = v.u32(0x04);
    h.posguid = v.i32(0x08);
    h.lcid = v.u32(0x0C);
    h.lcid2 = v.u32(0x10);
    h.varflags = v.u32(0x14);
    h.version = v.u32(0x18);
    h.flags = v.u32(0x1C);
    h.nrtypeinfos = v.i32(0x20);
    h.helpstring = v.i32(0x24);
    h.helpstringcontext = v.i32(0x28);
    h.helpcontext = v.i32(0x2C);
    h.nametablecount = v.i32(0x30);
    h.nametablechars = v.i32(0x34);
    h.name_offset = v.i32(0x38);
    h.helpfile = v.i32(0x3C);
    h.custom_data_offset = v.i32(0x40);
    h.res44 = v.i32(0x44);
    h.res48 = v.i32(0x48);
    h.dispatchpos = v.i32(0x4C);
    h.nimpinfos = v.i32(0x50);
    if (h.magic != kMagic) throw Malformed("not an MSFT image (bad signature)");
    if (h.format_version != kFormatVersion) throw Malformed("unknown MSFT format version");
    if (h.nrtypeinfos < 0) throw Malformed("negative typeinfo count");
}

void read_directory(const View& v, MsftImage& image)
{
    const size_t count = static_cast<size_t>(image.header.nrtypeinfos);
    size_t at = kHeaderSize + ((image.header.varflags & kHelpDllFlag) ? 4 : 0);
    if (count > (image.file_size - at) / 4)
        throw Malformed("typeinfo offsets run past the end of the image");
    for (size_t i = 0; i < count; ++i, at += 4) image.typeinfo_offsets.push_back(v.i32(at));
    v.need(at, kSegmentCount * kSegDirEntrySize, "segment directory");
    const size_t data_start = at + kSegmentCount * kSegDirEntrySize;
    for (size_t s = 0; s < kSegmentCount; ++s, at += kSegDirEntrySize) {
        SegmentEntry& e = image.segments[s];
        e = {v.i32(at), v.i32(at + 4), v.i32(at + 8), v.i32(at + 12)};
        if (e.offset == -1 && e.length == 0) continue;
        if (e.offset < 0 || e.length < 0 || static_cast<size_t>(e.offset) < data_start)
            throw Malformed("segment " + std::to_string(s) + " has a bad position");
        v.need(static_cast<size_t>(e.offset), static_cast<size_t>(e.length),
               "segment " + std::to_string(s));
    }
}

std::vector<int32_t> read_words(const View& v, const Segment& seg)
{
    if (seg.length % 4) throw Malformed("hash segment length is not a multiple of 4");
    std::vector<int32_t> words;
    for (size_t rel = 0; rel < seg.length; rel += 4) words.push_back(v.i32(seg.start + rel));
    return words;
}

void read_tables(const View& v, MsftImage& image)
{
    const Segment names = segment(image, kSegNameTab);
    for (size_t rel = 0; rel < names.length;) {
        const size_t at = names.at(rel, 12, "name entry");
        NameEntry n;
        n.offset = static_cast<int32_t>(rel);
        n.hreftype = v.i32(at);
        n.next_hash = v.i32(at + 4);
        const uint32_t word = v.u32(at + 8);
        n.flags = static_cast<uint8_t>(word >> 8);
        n.hash = static_cast<uint16_t>(word >> 16);
        const size_t length = word & 0xFF;
        const size_t entry = round4(12 + length);
        names.at(rel, entry, "name entry");
        n.name = v.text(at + 12, length);
        image.names.push_back(n);
        rel += entry;
    }

    const Segment guids = segment(image, kSegGuidTab);
    if (guids.length % kGuidEntrySize)
        throw Malformed("GUID segment length is not a multiple of 24");
    for (size_t rel = 0; rel < guids.length; rel += kGuidEntrySize) {
        const size_t at = guids.start + rel;
        image.guids.push_back(
            {static_cast<int32_t>(rel), v.guid(at), v.i32(at + 16), v.i32(at + 20)});
    }
    image.guid_hash = read_words(v, segment(image, kSegGuidHash));
    image.name_hash = read_words(v, segment(image, kSegNameHash));
}

}  // namespace

const TypeInfoRecord* MsftImage::local_type(int32_t href) const
{
    if (href < 0 || (href & 3) != 0 || href % static_cast<int32_t>(kTypeInfoSize) != 0)
        return nullptr;
    const size_t index = static_cast<size_t>(href) / kTypeInfoSize;
    return index < typeinfos.size() ? &typeinfos[index] : nullptr;
}

const ImportInfo* MsftImage::imported_type(int32_t href) const
{
    if (href < 0 || (href & 3) != 1) return nullptr;
    for (const ImportInfo& info : imports)
        if (info.offset == href - 1) return &info;
    return nullptr;
}

MsftReadResult read_msft(const uint8_t* data, size_t size)
{
    MsftReadResult result;
    if (!data && size) {
        result.error = "no data";
        return result;
    }
    try {
        const View v(data, size);
        MsftImage image;
        image.file_size = size;
        read_header(v, image);
        read_directory(v, image);
        read_tables(v, image);
        read_imports(v, image);
        read_typeinfos(v, image);
        if (image.header.posguid != -1)
            image.library_guid = guid_at(image, image.header.posguid, "header").guid;
        image.library_name = name_at(image, image.header.name_offset, "header");
        result.image = std::move(image);
    } catch (const Malformed& e) {
        result.error = e.what();
    }
    return result;
}

MsftReadResult read_msft(const std::vector<uint8_t>& bytes)
{
    return read_msft(bytes.data(), bytes.size());
}

}  // namespace tlb
