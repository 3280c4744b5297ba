// Import tables, reference records and typeinfo records of an MSFT image.
#include "tests/support/msft_reader_detail.h"

namespace tlb {
namespace msft_detail {

namespace {

std::vector<ImplType> impl_types_of(const MsftImage& image, const TypeInfoRecord& t)
{
    std::vector<ImplType> impls;
    if (t.impl_type_count < 0) throw Malformed("negative implemented-type count");
    if (t.impl_type_count == 0) return impls;
    if (t.kind != kCoclass) return {{t.datatype1, 0}};
    // A coclass lists its interfaces as a chain of reference records.
    int32_t next = t.datatype1;
    for (int16_t k = 0; k < t.impl_type_count; ++k) {
        const RefRecord* found = nullptr;
        for (const RefRecord& r : image.references)
            if (r.offset == next) found = &r;
        if (!found) throw Malformed("implemented-type chain refers to no reference record");
        impls.push_back({found->hreftype, found->impl_flags});
        next = found->next;
    }
    return impls;
}

}  // namespace

void read_imports(const View& v, MsftImage& image)
{
    const Segment files = segment(image, kSegImpFiles);
    for (size_t rel = 0; rel < files.length;) {
        const size_t at = files.at(rel, 14, "import-file entry");
        ImportFile f;
        f.offset = static_cast<int32_t>(rel);
        f.guid_offset = v.i32(at);
        f.lcid = v.u32(at + 4);
        f.major = v.u16(at + 8);
        f.minor = v.u16(at + 10);
        f.encoded_length = v.u16(at + 12);
        const size_t length = f.encoded_length >> 2;
        size_t name_part = round4(2 + length);
        if (name_part < 8) name_part = 8;
        files.at(rel, 12 + name_part, "import-file entry");
        f.file_name = v.text(at + 14, length);
        f.library_guid = guid_at(image, f.guid_offset, "import-file entry").guid;
        image.import_files.push_back(f);
        rel += 12 + name_part;
    }

    const Segment infos = segment(image, kSegImpInfo);
    if (infos.length % kImpInfoSize)
        throw Malformed("import-info segment length is not a multiple of 12");
    for (size_t rel = 0; rel < infos.length; rel += kImpInfoSize) {
        const size_t at = infos.start + rel;
        ImportInfo info;
        info.offset = static_cast<int32_t>(rel);
        info.flags = v.u32(at);
        info.type_kind = static_cast<uint8_t>(info.flags >> 24);
        info.by_guid = (info.flags & kImpInfoByGuid) != 0;
        info.import_file_offset = v.i32(at + 4);
        info.guid_or_index = v.i32(at + 8);
        const ImportFile* file = nullptr;
        for (const ImportFile& f : image.import_files)
            if (f.offset == info.import_file_offset) file = &f;
        if (!file) throw Malformed("import-info entry refers to no import file");
        info.library_file = file->file_name;
        info.library_guid = file->library_guid;
        info.library_major = file->major;
        info.library_minor = file->minor;
        info.library_lcid = file->lcid;
        if (info.by_guid)
            info.type_guid = guid_at(image, info.guid_or_index, "import-info entry").guid;
        image.imports.push_back(info);
    }

    const Segment refs = segment(image, kSegRefTab);
    if (refs.length % kRefRecordSize)
        throw Malformed("reference segment length is not a multiple of 16");
    for (size_t rel = 0; rel < refs.length; rel += kRefRecordSize) {
        const size_t at = refs.start + rel;
        image.references.push_back(
            {static_cast<int32_t>(rel), v.i32(at), v.u32(at + 4), v.i32(at + 8), v.i32(at + 12)});
    }
}

void read_typeinfos(const View& v, MsftImage& image)
{
    const Segment seg = segment(image, kSegTypeInfo);
    for (size_t i = 0; i < image.typeinfo_offsets.size(); ++i) {
        // The loader finds typeinfo i at i * 0x64 in its segment.
        const size_t at = seg.at(i * kTypeInfoSize, kTypeInfoSize, "typeinfo record");
        TypeInfoRecord t;
        t.typekind_word = v.u32(at);
        t.kind = static_cast<uint8_t>(t.typekind_word & 0xF);
        t.alignment = static_cast<uint8_t>((t.typekind_word >> 11) & 0x1F);
        t.memoffset = v.i32(at + 0x04);
        for (size_t r = 0; r < 4; ++r) t.res2_to_res5[r] = v.i32(at + 0x08 + 4 * r);
        t.functions = v.u16(at + 0x18);
        t.variables = v.u16(at + 0x1A);
        for (size_t r = 0; r < 4; ++r) t.res7_to_resA[r] = v.i32(at + 0x1C + 4 * r);
        t.posguid = v.i32(at + 0x2C);
        t.flags = v.u32(at + 0x30);
        t.name_offset = v.i32(at + 0x34);
        t.major = v.u16(at + 0x38);
        t.minor = v.u16(at + 0x3A);
        t.docstring = v.i32(at + 0x3C);
        t.helpstringcontext = v.i32(at + 0x40);
        t.helpcontext = v.i32(at + 0x44);
        t.custom_data = v.i32(at + 0x48);
        t.impl_type_count = static_cast<int16_t>(v.u16(at + 0x4C));
        t.vtable_size = static_cast<int16_t>(v.u16(at + 0x4E));
        t.instance_size = v.i32(at + 0x50);
        t.datatype1 = v.i32(at + 0x54);
        t.datatype2 = v.i32(at + 0x58);
        t.res18 = v.i32(at + 0x5C);
        t.res19 = v.i32(at + 0x60);
        if (t.posguid != -1) t.guid = guid_at(image, t.posguid, "typeinfo").guid;
        t.name = name_at(image, t.name_offset, "typeinfo");
        t.impl_types = impl_types_of(image, t);
        image.typeinfos.push_back(std::move(t));
    }
}

}  // namespace msft_detail
}  // namespace tlb
