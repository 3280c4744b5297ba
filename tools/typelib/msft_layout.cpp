#include "msft_layout.h"

#include "byte_writer.h"
#include "msft_format.h"
#include "msft_tables.h"

#include <stdexcept>

namespace tlb {

namespace {

using namespace msft;
// Type references to typeinfos are signed offsets.
constexpr int32_t kTypeInfoStride = static_cast<int32_t>(kTypeInfoSize);
constexpr int32_t kHrefOwnLibrary = -2;      // GUID entry of the library's identifier
constexpr int32_t kHrefImportedLibrary = 2;  // GUID entry of an imported library
constexpr uint32_t kVarFlagsBase = 0x40;
constexpr uint32_t kDefaultHeaderLcid = 0x0409;
// The writer gives every new typeinfo an alignment of 4, whatever the target.
constexpr uint32_t kTypeInfoAlignment = 4;
// IDispatch has seven vtable entries: IUnknown's three and its own four.
constexpr int32_t kDispatchVtableEntries = 7;
constexpr uint8_t kFiller = 0x57;  // 'W'

const Guid& iid_idispatch()
{
    static const Guid iid = Guid::of("{00020400-0000-0000-C000-000000000046}");
    return iid;
}

// Where a library's identifiers, names and imports ended up.
struct Tables {
    explicit Tables(uint32_t hash_lcid) : names(hash_lcid) {}

    GuidTable guids;
    NameTable names;
    int32_t library_guid = -1;
    int32_t library_name = -1;
    std::vector<int32_t> typeinfo_guid;
    std::vector<int32_t> typeinfo_name;
    std::vector<size_t> library_order;     // imported libraries, by first use
    std::vector<size_t> type_order;        // imported types, by first use
    std::vector<int32_t> type_href;        // per imported type; -1 until used
    std::vector<int32_t> type_guid;        // per imported type: its GUID entry
    std::vector<int32_t> library_guid_of;  // per imported library: its GUID entry
    int32_t dispatch_href = -1;
};

int32_t pointer_size(SysKind syskind)
{
    switch (syskind) {
    case SysKind::Win32: return 4;
    case SysKind::Win64: return 8;
    default: throw std::invalid_argument("only 32- and 64-bit Windows targets are supported");
    }
}

void check(const LibraryDesc& lib)
{
    pointer_size(lib.syskind);
    for (const ImportedType& t : lib.imported_types)
        if (t.library >= lib.libraries.size())
            throw std::invalid_argument("imported type names no imported library");
    for (const TypeInfoDesc& ti : lib.typeinfos) {
        if (ti.kind != TypeKind::Dispatch && ti.kind != TypeKind::Coclass)
            throw std::invalid_argument(ti.name +
                                        ": only dispatch and coclass typeinfos are supported");
        if (ti.kind == TypeKind::Dispatch && ti.impl_types.size() > 1)
            throw std::invalid_argument(ti.name +
                                        ": a dispatch interface derives from one interface");
        for (const ImplementedType& impl : ti.impl_types) {
            const size_t limit =
                impl.ref.imported ? lib.imported_types.size() : lib.typeinfos.size();
            if (impl.ref.index >= limit)
                throw std::invalid_argument(ti.name + ": dangling reference");
            if (ti.kind != TypeKind::Coclass && impl.impl_flags != 0)
                throw std::invalid_argument(ti.name +
                                            ": only coclasses carry implementation flags");
        }
    }
}

// First use of an imported type: its library's identifier (if new) and then
// its own identifier join the GUID table, and it gets the next import-info
// entry, as when the writer is first asked for a reference to it.
int32_t use_imported_type(const LibraryDesc& lib, Tables& t, size_t type)
{
    if (t.type_href[type] >= 0) return t.type_href[type];
    const ImportedType& imported = lib.imported_types[type];
    if (t.library_guid_of[imported.library] < 0) {
        t.library_guid_of[imported.library] =
            t.guids.add(lib.libraries[imported.library].guid, kHrefImportedLibrary);
        t.library_order.push_back(imported.library);
    }
    const int32_t href = static_cast<int32_t>(t.type_order.size() * kImpInfoSize) + 1;
    t.type_guid[type] = t.guids.add(imported.guid, href);
    t.type_order.push_back(type);
    t.type_href[type] = href;
    if (imported.guid == iid_idispatch()) t.dispatch_href = href;
    return href;
}

// Fills the tables in the order a creator calls the writer: library name and
// identifier, then per typeinfo its name, its identifier and the references
// it makes.
Tables build_tables(const LibraryDesc& lib)
{
    Tables t(lib.hash_lcid);
    t.type_href.assign(lib.imported_types.size(), -1);
    t.type_guid.assign(lib.imported_types.size(), -1);
    t.library_guid_of.assign(lib.libraries.size(), -1);
    t.library_name = t.names.add(lib.name);
    t.library_guid = t.guids.add(lib.guid, kHrefOwnLibrary);
    for (size_t i = 0; i < lib.typeinfos.size(); ++i) {
        const TypeInfoDesc& ti = lib.typeinfos[i];
        t.typeinfo_name.push_back(t.names.add(ti.name));
        t.typeinfo_guid.push_back(t.guids.add(ti.guid, static_cast<int32_t>(i) * kTypeInfoStride));
        for (const ImplementedType& impl : ti.impl_types)
            if (impl.ref.imported) use_imported_type(lib, t, impl.ref.index);
    }
    for (size_t i = 0; i < lib.typeinfos.size(); ++i)
        t.names.mark_typeinfo_name(t.typeinfo_name[i], static_cast<int32_t>(i) * kTypeInfoStride);
    return t;
}

int32_t href_of(const Tables& t, const TypeRef& ref)
{
    return ref.imported ? t.type_href[ref.index]
                        : static_cast<int32_t>(ref.index) * kTypeInfoStride;
}

// Import-file entries {library GUID, locale, version, (length << 2) | 1,
// file name padded with 'W'}; returns each library's entry offset.
std::vector<int32_t> write_import_files(const LibraryDesc& lib, const Tables& t, ByteWriter& out)
{
    std::vector<int32_t> offsets(lib.libraries.size(), -1);
    for (size_t l : t.library_order) {
        const ImportedLibrary& imported = lib.libraries[l];
        if (imported.file_name.empty() || imported.file_name.size() > 0x3FFF)
            throw std::invalid_argument("import file name length out of range");
        offsets[l] = static_cast<int32_t>(out.size());
        out.i32(t.library_guid_of[l]);
        out.u32(imported.lcid);
        out.u32(static_cast<uint32_t>(imported.minor) << 16 | imported.major);
        out.u16(static_cast<uint16_t>(imported.file_name.size() << 2 | 1));
        out.text(imported.file_name);
        out.pad4(kFiller);
    }
    return offsets;
}

// Import-info entries {index | by-GUID | kind << 24, import file, GUID entry}.
void write_import_infos(const LibraryDesc& lib, const Tables& t,
                        const std::vector<int32_t>& file_offsets, ByteWriter& out)
{
    for (size_t index = 0; index < t.type_order.size(); ++index) {
        const size_t type = t.type_order[index];
        const ImportedType& imported = lib.imported_types[type];
        out.u32(static_cast<uint32_t>(index) | kImpInfoByGuid |
                static_cast<uint32_t>(imported.kind) << 24);
        out.i32(file_offsets[imported.library]);
        out.i32(t.type_guid[type]);
    }
}

// Reference records {type reference, implementation flags, custom data -1,
// next record or -1} for each coclass; returns each typeinfo's first record.
std::vector<int32_t> write_references(const LibraryDesc& lib, const Tables& t, ByteWriter& out)
{
    std::vector<int32_t> first(lib.typeinfos.size(), -1);
    for (size_t i = 0; i < lib.typeinfos.size(); ++i) {
        const TypeInfoDesc& ti = lib.typeinfos[i];
        if (ti.kind != TypeKind::Coclass) continue;
        first[i] = static_cast<int32_t>(out.size());
        for (size_t k = 0; k < ti.impl_types.size(); ++k) {
            out.i32(href_of(t, ti.impl_types[k].ref));
            out.u32(ti.impl_types[k].impl_flags);
            out.i32(-1);
            const bool last = k + 1 == ti.impl_types.size();
            out.i32(last ? -1 : static_cast<int32_t>(out.size() + 4));
        }
    }
    return first;
}

// One 0x64-byte typeinfo record. Members would live in a block at the end of
// the file; with none, `memoffset` points just past the file, as the writer
// leaves it.
void write_typeinfo(const LibraryDesc& lib, const Tables& t, size_t index, int32_t first_ref,
                    int32_t file_size, ByteWriter& out)
{
    const TypeInfoDesc& ti = lib.typeinfos[index];
    const int32_t ptr = pointer_size(lib.syskind);
    const bool coclass = ti.kind == TypeKind::Coclass;
    out.u32(static_cast<uint32_t>(ti.kind) | static_cast<uint32_t>(index) << 16 |
            kTypeInfoAlignment << 11 | kTypeInfoAlignment << 6);
    out.i32(file_size);                      // memoffset
    out.i32(0);                              // res2
    out.i32(0);                              // res3
    out.i32(3);                              // res4
    out.i32(0);                              // res5
    out.u32(0);                              // cElement: no variables, no functions
    for (int r = 0; r < 4; ++r) out.i32(0);  // res7..resA
    out.i32(t.typeinfo_guid[index]);
    out.u32(ti.type_flags);
    out.i32(t.typeinfo_name[index]);
    out.u32(static_cast<uint32_t>(ti.minor) << 16 | ti.major);
    out.i32(-1);  // no doc string
    out.i32(0);   // help string context
    out.i32(0);   // help context
    out.i32(-1);  // no custom data
    out.u16(static_cast<uint16_t>(ti.impl_types.size()));
    out.u16(static_cast<uint16_t>(coclass ? 0 : kDispatchVtableEntries * ptr));  // cbSizeVft
    out.i32(ptr);  // instance size: one interface pointer
    // datatype1: a coclass's first reference record; an interface's base.
    if (coclass)
        out.i32(first_ref);
    else
        out.i32(ti.impl_types.empty() ? -1 : href_of(t, ti.impl_types[0].ref));
    out.i32(static_cast<int32_t>(index));  // datatype2
    out.i32(0);                            // res18
    out.i32(-1);                           // res19
}

void write_header(const LibraryDesc& lib, const Tables& t, ByteWriter& out)
{
    out.u32(kMagic);
    out.u32(kFormatVersion);
    out.i32(t.library_guid);
    out.u32(lib.registered_lcid ? lib.registered_lcid : kDefaultHeaderLcid);
    out.u32(lib.registered_lcid);
    out.u32(kVarFlagsBase | static_cast<uint32_t>(lib.syskind));
    out.u32(static_cast<uint32_t>(lib.minor) << 16 | lib.major);
    out.u32(lib.lib_flags);
    out.i32(static_cast<int32_t>(lib.typeinfos.size()));
    out.i32(-1);  // help string
    out.i32(0);   // help string context
    out.i32(0);   // help context
    out.i32(static_cast<int32_t>(t.names.count()));
    out.i32(static_cast<int32_t>(t.names.total_chars()));
    out.i32(t.library_name);
    out.i32(-1);  // help file
    out.i32(-1);  // custom data
    out.i32(0x20);
    out.i32(0x80);
    out.i32(t.dispatch_href);
    out.i32(static_cast<int32_t>(t.type_order.size()));
}

}  // namespace

std::vector<uint8_t> lay_out_msft(const LibraryDesc& lib)
{
    check(lib);
    const Tables t = build_tables(lib);

    ByteWriter import_files, import_infos, references;
    const std::vector<int32_t> file_offsets = write_import_files(lib, t, import_files);
    write_import_infos(lib, t, file_offsets, import_infos);
    const std::vector<int32_t> first_ref = write_references(lib, t, references);

    ByteWriter guid_hash, guids, name_hash, names, typeinfos;
    t.guids.write_hash(guid_hash);
    t.guids.write_entries(guids);
    t.names.write_hash(name_hash);
    t.names.write_entries(names);

    // Segments in the order the writer puts them in the file, each with its
    // entry in the directory (typeinfo, import info, import files, references,
    // GUID hash, GUIDs, name hash, names, then strings, type descriptions,
    // array descriptions, custom data, custom-data GUIDs and two unused
    // entries, all empty here).
    struct Placed {
        size_t entry;
        const ByteWriter* data;
    };
    const Placed file_order[] = {{0, &typeinfos},  {4, &guid_hash},    {5, &guids},
                                 {3, &references}, {1, &import_infos}, {2, &import_files},
                                 {6, &name_hash},  {7, &names}};

    const size_t n = lib.typeinfos.size();
    const size_t prefix = kHeaderSize + n * 4 + kSegmentCount * kSegDirEntrySize;
    size_t file_size = prefix + n * kTypeInfoSize;
    for (const Placed& p : file_order) file_size += p.data->size();
    for (size_t i = 0; i < n; ++i)
        write_typeinfo(lib, t, i, first_ref[i], static_cast<int32_t>(file_size), typeinfos);

    int32_t dir_offset[kSegmentCount], dir_length[kSegmentCount];
    for (size_t i = 0; i < kSegmentCount; ++i) dir_offset[i] = -1, dir_length[i] = 0;
    size_t at = prefix;
    for (const Placed& p : file_order) {
        if (!p.data->size()) continue;
        dir_offset[p.entry] = static_cast<int32_t>(at);
        dir_length[p.entry] = static_cast<int32_t>(p.data->size());
        at += p.data->size();
    }

    ByteWriter out;
    write_header(lib, t, out);
    for (size_t i = 0; i < n; ++i) out.i32(static_cast<int32_t>(i) * kTypeInfoStride);
    for (size_t i = 0; i < kSegmentCount; ++i) {
        out.i32(dir_offset[i]);
        out.i32(dir_length[i]);
        out.i32(-1);
        out.i32(0x0F);
    }
    for (const Placed& p : file_order) out.append(p.data->bytes());
    return out.take();
}

}  // namespace tlb
