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

uint32_t version(uint16_t major, uint16_t minor) { return uint32_t{minor} << 16 | major; }

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

void require(bool ok, const std::string& what)
{
    if (!ok) throw std::invalid_argument(what);
}

int32_t pointer_size(SysKind syskind)
{
    require(syskind == SysKind::Win32 || syskind == SysKind::Win64,
            "only 32- and 64-bit Windows targets are supported");
    return syskind == SysKind::Win64 ? 8 : 4;
}

void check(const LibraryDesc& lib)
{
    pointer_size(lib.syskind);
    for (const ImportedType& t : lib.imported_types)
        require(t.library < lib.libraries.size(), "imported type names no imported library");
    for (const TypeInfoDesc& ti : lib.typeinfos) {
        require(ti.kind == TypeKind::Dispatch || ti.kind == TypeKind::Coclass,
                ti.name + ": only dispatch and coclass typeinfos are supported");
        require(ti.kind != TypeKind::Dispatch || ti.impl_types.size() <= 1,
                ti.name + ": a dispatch interface derives from one interface");
        for (const ImplementedType& impl : ti.impl_types) {
            require(impl.ref.index <
                        (impl.ref.imported ? lib.imported_types.size() : lib.typeinfos.size()),
                    ti.name + ": dangling reference");
            require(ti.kind == TypeKind::Coclass || impl.impl_flags == 0,
                    ti.name + ": only coclasses carry implementation flags");
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
    if (imported.guid == Guid::of(kIDispatchIid)) t.dispatch_href = href;
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
        require(!imported.file_name.empty() && imported.file_name.size() <= 0x3FFF,
                "import file name length out of range");
        offsets[l] = static_cast<int32_t>(out.size());
        out.words(t.library_guid_of[l], imported.lcid, version(imported.major, imported.minor));
        out.u16(static_cast<uint16_t>(imported.file_name.size() << 2 | 1));
        out.append(imported.file_name);
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
        out.words(static_cast<uint32_t>(index) | kImpInfoByGuid |
                      static_cast<uint32_t>(imported.kind) << 24,
                  file_offsets[imported.library], t.type_guid[type]);
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
            const bool last = k + 1 == ti.impl_types.size();
            out.words(href_of(t, ti.impl_types[k].ref), ti.impl_types[k].impl_flags, -1,
                      last ? -1 : static_cast<int32_t>(out.size() + kRefRecordSize));
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
    // datatype1: a coclass's first reference record; an interface's base.
    const int32_t datatype1 = coclass                 ? first_ref
                              : ti.impl_types.empty() ? -1
                                                      : href_of(t, ti.impl_types[0].ref);
    const uint32_t vtable_size = coclass ? 0 : kDispatchVtableEntries * ptr;
    // {kind | index << 16 | alignments, memoffset, res2..res5, cElement (no
    // variables, no functions), res7..resA, GUID, flags, name, version, doc
    // string, help string context, help context, custom data, implemented
    // types | cbSizeVft << 16, instance size (one interface pointer),
    // datatype1, datatype2, res18, res19}
    out.words(static_cast<uint32_t>(ti.kind) | static_cast<uint32_t>(index) << 16 |
                  kTypeInfoAlignment << 11 | kTypeInfoAlignment << 6,
              file_size, 0, 0, 3, 0, 0, 0, 0, 0, 0, t.typeinfo_guid[index], ti.type_flags,
              t.typeinfo_name[index], version(ti.major, ti.minor), -1, 0, 0, -1,
              static_cast<uint16_t>(ti.impl_types.size()) | vtable_size << 16, ptr, datatype1,
              index, 0, -1);
}

void write_header(const LibraryDesc& lib, const Tables& t, ByteWriter& out)
{
    // {magic, format version, library GUID, locale, registered locale,
    // varflags, version, flags, typeinfos, help string, help string context,
    // help context, names, name characters, library name, help file, custom
    // data, 0x20, 0x80, IDispatch reference, import-info entries}
    out.words(kMagic, kFormatVersion, t.library_guid,
              lib.registered_lcid ? lib.registered_lcid : kDefaultHeaderLcid, lib.registered_lcid,
              kVarFlagsBase | static_cast<uint32_t>(lib.syskind), version(lib.major, lib.minor),
              lib.lib_flags, lib.typeinfos.size(), -1, 0, 0, t.names.count(), t.names.total_chars(),
              t.library_name, -1, -1, 0x20, 0x80, t.dispatch_href, t.type_order.size());
}

}  // namespace

std::vector<uint8_t> lay_out_msft(const LibraryDesc& lib)
{
    check(lib);
    const Tables t = build_tables(lib);

    ByteWriter segment[kSegmentCount];
    const std::vector<int32_t> file_offsets = write_import_files(lib, t, segment[kSegImpFiles]);
    write_import_infos(lib, t, file_offsets, segment[kSegImpInfo]);
    const std::vector<int32_t> first_ref = write_references(lib, t, segment[kSegRefTab]);
    t.guids.write_hash(segment[kSegGuidHash]);
    t.guids.write_entries(segment[kSegGuidTab]);
    t.names.write_hash(segment[kSegNameHash]);
    t.names.write_entries(segment[kSegNameTab]);

    // The segments in the order the writer puts them in the file; strings,
    // type descriptions, array descriptions, custom data, custom-data GUIDs
    // and the two unused entries stay empty here.
    const SegmentIndex file_order[] = {kSegTypeInfo, kSegGuidHash, kSegGuidTab,  kSegRefTab,
                                       kSegImpInfo,  kSegImpFiles, kSegNameHash, kSegNameTab};

    const size_t n = lib.typeinfos.size();
    const size_t prefix = kHeaderSize + n * 4 + kSegmentCount * kSegDirEntrySize;
    size_t file_size = prefix + n * kTypeInfoSize;
    for (const ByteWriter& s : segment) file_size += s.size();
    for (size_t i = 0; i < n; ++i)
        write_typeinfo(lib, t, i, first_ref[i], static_cast<int32_t>(file_size),
                       segment[kSegTypeInfo]);

    int32_t offset[kSegmentCount] = {};
    size_t at = prefix;
    for (SegmentIndex s : file_order) {
        offset[s] = static_cast<int32_t>(at);
        at += segment[s].size();
    }

    ByteWriter out;
    write_header(lib, t, out);
    for (size_t i = 0; i < n; ++i) out.words(i * kTypeInfoSize);
    // An empty segment's directory entry has no offset.
    for (size_t s = 0; s < kSegmentCount; ++s) {
        const size_t length = segment[s].size();
        out.words(length ? offset[s] : -1, length, -1, 0x0F);
    }
    for (SegmentIndex s : file_order) out.append(segment[s].bytes());
    return out.take();
}

}  // namespace tlb
