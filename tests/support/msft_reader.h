// Reader for compiled "MSFT" type-library images: parses one into plain
// structures for inspection and checks that every offset stays inside the
// image. Malformed input yields an error message, never a read out of bounds.
#pragma once

#include "tools/typelib/guid.h"
#include "tools/typelib/msft_format.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tlb {

struct MsftHeader {
    uint32_t magic = 0;
    uint32_t format_version = 0;
    int32_t posguid = 0;
    uint32_t lcid = 0;
    uint32_t lcid2 = 0;
    uint32_t varflags = 0;  // low nibble: SYSKIND
    uint32_t version = 0;   // major | minor << 16
    uint32_t flags = 0;
    int32_t nrtypeinfos = 0;
    int32_t helpstring = 0;
    int32_t helpstringcontext = 0;
    int32_t helpcontext = 0;
    int32_t nametablecount = 0;
    int32_t nametablechars = 0;
    int32_t name_offset = 0;
    int32_t helpfile = 0;
    int32_t custom_data_offset = 0;
    int32_t res44 = 0;
    int32_t res48 = 0;
    int32_t dispatchpos = 0;
    int32_t nimpinfos = 0;
};

struct SegmentEntry {
    int32_t offset = -1;
    int32_t length = 0;
    int32_t res08 = 0;
    int32_t res0c = 0;
};

struct NameEntry {
    int32_t offset = 0;  // within the name segment
    int32_t hreftype = 0;
    int32_t next_hash = 0;
    uint8_t flags = 0;  // bits 8..15 of the length word
    uint16_t hash = 0;  // bits 16..31 of the length word
    std::string name;
};

struct GuidEntry {
    int32_t offset = 0;  // within the GUID segment
    Guid guid;
    int32_t hreftype = 0;
    int32_t next_hash = 0;
};

struct ImportFile {
    int32_t offset = 0;  // within the import-file segment
    int32_t guid_offset = 0;
    Guid library_guid;
    uint32_t lcid = 0;
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t encoded_length = 0;  // (length << 2) | flags
    std::string file_name;
};

// An import-info entry resolved to the library it names and the type in it.
struct ImportInfo {
    int32_t offset = 0;  // within the import-info segment; its href is offset + 1
    uint32_t flags = 0;
    uint8_t type_kind = 0;
    bool by_guid = false;
    int32_t import_file_offset = 0;
    int32_t guid_or_index = 0;
    std::string library_file;
    Guid library_guid;
    uint16_t library_major = 0;
    uint16_t library_minor = 0;
    uint32_t library_lcid = 0;
    Guid type_guid;  // when by_guid
};

struct RefRecord {
    int32_t offset = 0;  // within the reference segment
    int32_t hreftype = 0;
    uint32_t impl_flags = 0;
    int32_t custom_data = 0;
    int32_t next = 0;
};

struct ImplType {
    int32_t hreftype = 0;
    uint32_t impl_flags = 0;
};

struct TypeInfoRecord {
    uint32_t typekind_word = 0;  // kind | extra bits as stored
    uint8_t kind = 0;            // TYPEKIND
    uint8_t alignment = 0;
    int32_t memoffset = 0;
    std::array<int32_t, 4> res2_to_res5{};  // the writer stores 0, 0, 3, 0
    uint16_t functions = 0;
    uint16_t variables = 0;
    std::array<int32_t, 4> res7_to_resA{};
    int32_t posguid = 0;
    Guid guid;
    uint32_t flags = 0;
    int32_t name_offset = 0;
    std::string name;
    uint16_t major = 0;
    uint16_t minor = 0;
    int32_t docstring = 0;
    int32_t helpstringcontext = 0;
    int32_t helpcontext = 0;
    int32_t custom_data = 0;
    int16_t impl_type_count = 0;
    int16_t vtable_size = 0;  // cbSizeVft
    int32_t instance_size = 0;
    int32_t datatype1 = 0;
    int32_t datatype2 = 0;
    int32_t res18 = 0;
    int32_t res19 = 0;
    std::vector<ImplType> impl_types;  // coclass: via reference records; else datatype1
};

struct MsftImage {
    size_t file_size = 0;
    MsftHeader header;
    std::vector<int32_t> typeinfo_offsets;
    std::array<SegmentEntry, msft::kSegmentCount> segments{};
    std::string library_name;
    Guid library_guid;
    std::vector<TypeInfoRecord> typeinfos;
    std::vector<RefRecord> references;
    std::vector<ImportInfo> imports;
    std::vector<ImportFile> import_files;
    std::vector<NameEntry> names;
    std::vector<GuidEntry> guids;
    std::vector<int32_t> guid_hash;  // bucket heads, if the segment is present
    std::vector<int32_t> name_hash;

    // Lookups by type reference: a typeinfo of this image (low bits 00) or
    // an import-info entry (low bits 01). Null when the reference is neither.
    const TypeInfoRecord* local_type(int32_t href) const;
    const ImportInfo* imported_type(int32_t href) const;
};

struct MsftReadResult {
    std::optional<MsftImage> image;
    std::string error;  // set when image is empty
};

MsftReadResult read_msft(const uint8_t* data, size_t size);
MsftReadResult read_msft(const std::vector<uint8_t>& bytes);

}  // namespace tlb
