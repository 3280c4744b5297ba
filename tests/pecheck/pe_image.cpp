#include "tests/pecheck/pe_image.h"

#include <algorithm>

namespace pecheck {
namespace {

struct Section {
    uint32_t virtual_address;
    uint32_t virtual_size;
    uint32_t raw_size;
    uint32_t raw_offset;
};

class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& file) : file_(file) {}

    uint8_t u8(std::size_t at) const
    {
        need(at, 1);
        return file_[at];
    }
    uint16_t u16(std::size_t at) const { return static_cast<uint16_t>(u8(at) | u8(at + 1) << 8); }
    uint32_t u32(std::size_t at) const
    {
        return static_cast<uint32_t>(u16(at)) | static_cast<uint32_t>(u16(at + 2)) << 16;
    }
    void need(std::size_t at, std::size_t size) const
    {
        if (at > file_.size() || size > file_.size() - at)
            throw BadImage("reads past the end of the file at offset " + std::to_string(at));
    }
    std::vector<uint8_t> bytes(std::size_t at, std::size_t size) const
    {
        need(at, size);
        return std::vector<uint8_t>(file_.begin() + static_cast<std::ptrdiff_t>(at),
                                    file_.begin() + static_cast<std::ptrdiff_t>(at + size));
    }

    std::vector<Section> sections;

    // The file offset of an image address, checked to lie within a section's
    // raw data.
    std::size_t offset_of(uint32_t rva, std::size_t size = 1) const
    {
        for (const Section& s : sections) {
            const uint32_t extent = std::max(s.virtual_size, s.raw_size);
            if (rva >= s.virtual_address && rva - s.virtual_address < extent) {
                const uint32_t within = rva - s.virtual_address;
                if (within + size > s.raw_size)
                    throw BadImage("address " + std::to_string(rva) + " lies outside raw data");
                const std::size_t at = static_cast<std::size_t>(s.raw_offset) + within;
                need(at, size);
                return at;
            }
        }
        throw BadImage("address " + std::to_string(rva) + " lies in no section");
    }

    std::string ascii_at(uint32_t rva) const
    {
        std::string out;
        for (std::size_t at = offset_of(rva);; ++at) {
            const uint8_t c = u8(at);
            if (c == 0) return out;
            out += static_cast<char>(c);
            if (out.size() > 4096) throw BadImage("unterminated name");
        }
    }

private:
    const std::vector<uint8_t>& file_;
};

struct Directory {
    uint32_t rva = 0;
    uint32_t size = 0;
};

void read_exports(const Reader& r, const Directory& dir, PeImage& image)
{
    if (dir.rva == 0) return;
    const std::size_t d = r.offset_of(dir.rva, 40);
    const uint32_t base = r.u32(d + 16);
    const uint32_t functions = r.u32(d + 20);
    const uint32_t names = r.u32(d + 24);
    const uint32_t function_table = r.u32(d + 28);
    const uint32_t name_table = r.u32(d + 32);
    const uint32_t ordinal_table = r.u32(d + 36);
    if (functions > 65536 || names > functions) throw BadImage("implausible export counts");
    for (uint32_t i = 0; i < functions; ++i) {
        const uint32_t rva = r.u32(r.offset_of(function_table + 4 * i, 4));
        image.exports.push_back(Export{"", base + i, rva});
    }
    for (uint32_t i = 0; i < names; ++i) {
        const uint32_t name_rva = r.u32(r.offset_of(name_table + 4 * i, 4));
        const uint16_t index = r.u16(r.offset_of(ordinal_table + 2 * i, 2));
        if (index >= functions) throw BadImage("export name points past the functions");
        image.exports[index].name = r.ascii_at(name_rva);
    }
}

void read_imports(const Reader& r, const Directory& dir, PeImage& image)
{
    if (dir.rva == 0) return;
    for (uint32_t entry = dir.rva;; entry += 20) {
        const std::size_t d = r.offset_of(entry, 20);
        const uint32_t name = r.u32(d + 12);
        const uint32_t thunks = r.u32(d + 16);
        if (name == 0 && thunks == 0) return;
        image.imported_libraries.push_back(r.ascii_at(name));
        if (image.imported_libraries.size() > 1024) throw BadImage("unterminated import table");
    }
}

ResourceId resource_id(const Reader& r, std::size_t root, uint32_t raw)
{
    ResourceId id;
    if (!(raw & 0x80000000u)) {
        id.number = raw;
        return id;
    }
    id.is_text = true;
    const std::size_t at = root + (raw & 0x7FFFFFFFu);
    const uint16_t length = r.u16(at);
    for (uint16_t i = 0; i < length; ++i) {
        const uint16_t c = r.u16(at + 2 + 2u * i);
        id.text += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return id;
}

// The entries of one resource directory: {identifier, offset field}.
std::vector<std::pair<ResourceId, uint32_t>> directory_entries(const Reader& r, std::size_t root,
                                                               std::size_t at)
{
    const std::size_t count = static_cast<std::size_t>(r.u16(at + 12)) + r.u16(at + 14);
    std::vector<std::pair<ResourceId, uint32_t>> out;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t e = at + 16 + 8 * i;
        out.emplace_back(resource_id(r, root, r.u32(e)), r.u32(e + 4));
    }
    return out;
}

void read_resources(const Reader& r, const Directory& dir, PeImage& image)
{
    if (dir.rva == 0) return;
    const std::size_t root = r.offset_of(dir.rva, 16);
    auto subdirectory = [&](uint32_t field) {
        if (!(field & 0x80000000u)) throw BadImage("resource tree too shallow");
        return root + (field & 0x7FFFFFFFu);
    };
    for (const auto& [type, type_dir] : directory_entries(r, root, root)) {
        for (const auto& [name, name_dir] : directory_entries(r, root, subdirectory(type_dir))) {
            for (const auto& [language, leaf] :
                 directory_entries(r, root, subdirectory(name_dir))) {
                if (leaf & 0x80000000u) throw BadImage("resource tree too deep");
                if (language.is_text) throw BadImage("resource language given as text");
                const std::size_t data = root + leaf;
                const uint32_t rva = r.u32(data);
                const uint32_t size = r.u32(data + 4);
                image.resources.push_back(
                    Resource{type, name, language.number, r.bytes(r.offset_of(rva, size), size)});
            }
        }
    }
}

}  // namespace

PeImage read_pe(const std::vector<uint8_t>& file)
{
    Reader r(file);
    if (r.u16(0) != 0x5A4D) throw BadImage("no MZ signature");
    const std::size_t pe = r.u32(0x3C);
    if (r.u32(pe) != 0x00004550) throw BadImage("no PE signature");
    PeImage image;
    const std::size_t coff = pe + 4;
    image.machine = r.u16(coff);
    const uint16_t section_count = r.u16(coff + 2);
    const uint16_t optional_size = r.u16(coff + 16);
    image.characteristics = r.u16(coff + 18);
    const std::size_t opt = coff + 20;
    image.optional_magic = r.u16(opt);
    image.os_version[0] = r.u16(opt + 40);
    image.os_version[1] = r.u16(opt + 42);
    image.subsystem_version[0] = r.u16(opt + 48);
    image.subsystem_version[1] = r.u16(opt + 50);
    image.dll_characteristics = r.u16(opt + 70);
    std::size_t directories = 0;
    if (image.optional_magic == 0x10b)
        directories = opt + 96;
    else if (image.optional_magic == 0x20b)
        directories = opt + 112;
    else
        throw BadImage("unknown optional header");
    const uint32_t directory_count = r.u32(directories - 4);
    auto directory = [&](uint32_t index) {
        Directory d;
        if (index < directory_count && directories + 8 * (index + 1) <= opt + optional_size) {
            d.rva = r.u32(directories + 8 * index);
            d.size = r.u32(directories + 8 * index + 4);
        }
        return d;
    };
    const std::size_t table = opt + optional_size;
    for (uint16_t i = 0; i < section_count; ++i) {
        const std::size_t s = table + 40u * i;
        r.sections.push_back(Section{r.u32(s + 12), r.u32(s + 8), r.u32(s + 16), r.u32(s + 20)});
        const std::vector<uint8_t> name = r.bytes(s, 8);
        image.sections.push_back(SectionFlags{
            std::string(name.begin(), std::find(name.begin(), name.end(), 0)), r.u32(s + 36)});
    }
    image.relocations_size = directory(5).size;
    read_exports(r, directory(0), image);
    read_imports(r, directory(1), image);
    read_resources(r, directory(2), image);
    return image;
}

}  // namespace pecheck
