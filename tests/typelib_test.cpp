// The module's compiled type library, read back field by field for both
// targets; plus the name hash, the GUID hash and the reader's rejection of
// damaged images. Expected values were worked out independently of the
// writer (hashes by hand-written script and by the platform's own
// LHashValOfNameSys), so they are literal constants here.
#include "tools/typelib/msft_layout.h"
#include "tests/support/msft_reader.h"
#include "tools/typelib/msft_tables.h"
#include "tools/typelib/msft_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using tlb::MsftImage;
using tlb::Target;

constexpr size_t kExpectedSize = 1544;

struct TargetCase {
    Target target;
    const char* label;
    uint32_t varflags;     // 0x40 | SYSKIND
    int16_t vtable_size;   // IDispatch's seven slots
    int32_t pointer_size;  // instance size of an interface or class
};
void PrintTo(const TargetCase& c, std::ostream* out) { *out << c.label; }  // not its raw bytes

const TargetCase kTargets[] = {
    {Target::Win32, "win32", 0x41, 28, 4},
    {Target::Win64, "win64", 0x43, 56, 8},
};

MsftImage read_back(Target target)
{
    const std::vector<uint8_t> bytes = tlb::build_module_typelib(target);
    tlb::MsftReadResult r = tlb::read_msft(bytes);
    if (!r.image) throw std::runtime_error("generated image rejected: " + r.error);
    return *r.image;
}

// Fields the writer fills the same way in every typeinfo record.
void expect_writer_constants(const tlb::TypeInfoRecord& t)
{
    EXPECT_EQ(t.alignment, 4);
    EXPECT_EQ(t.memoffset, static_cast<int32_t>(kExpectedSize));  // no member block
    EXPECT_EQ(t.res2_to_res5, (std::array<int32_t, 4>{0, 0, 3, 0}));
    EXPECT_EQ(t.res7_to_resA, (std::array<int32_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(t.functions, 0);
    EXPECT_EQ(t.variables, 0);
    EXPECT_EQ(t.docstring, -1);
    EXPECT_EQ(t.helpstringcontext, 0);
    EXPECT_EQ(t.helpcontext, 0);
    EXPECT_EQ(t.custom_data, -1);
    EXPECT_EQ(t.res18, 0);
    EXPECT_EQ(t.res19, -1);
}

// The fields of the two typeinfo records that differ between them.
struct RecordFields {
    uint32_t typekind_word;
    int kind;
    int32_t posguid;
    const char* guid;
    uint32_t flags;
    const char* name;
    int impl_type_count;
    bool dispatch_vtable;  // IDispatch's seven slots; else none
    int32_t datatype1, datatype2;
};
const RecordFields kRecords[] = {
    // dispatch, index 0, alignment 4; IDispatch through import-info entry 0
    {0x2104u, 4, 24, "{0190584F-0F1B-4C7F-87AD-8BD51D2E8B4E}", 0x11D0u, "_CTivOrvantaZNA100", 1,
     true, 1, 0},
    // coclass, index 1, alignment 4; first reference record
    {0x12105u, 5, 96, "{68A285B0-5582-4720-A801-BFCEF626BBD6}", 0x2u, "CTivOrvantaZNA100", 2, false,
     0, 1},
};

void expect_record_fields(const tlb::TypeInfoRecord& t, const RecordFields& e,
                          const TargetCase& target)
{
    EXPECT_EQ(t.typekind_word, e.typekind_word);
    EXPECT_EQ(t.kind, e.kind);
    expect_writer_constants(t);
    EXPECT_EQ(t.posguid, e.posguid);
    EXPECT_EQ(t.guid.to_string(), e.guid);
    EXPECT_EQ(t.flags, e.flags);
    EXPECT_EQ(t.name, e.name);
    EXPECT_EQ(t.major, 1);
    EXPECT_EQ(t.minor, 0);
    EXPECT_EQ(t.impl_type_count, e.impl_type_count);
    EXPECT_EQ(t.vtable_size, e.dispatch_vtable ? target.vtable_size : 0);
    EXPECT_EQ(t.instance_size, target.pointer_size);
    EXPECT_EQ(t.datatype1, e.datatype1);
    EXPECT_EQ(t.datatype2, e.datatype2);
}

class ModuleTypeLib : public ::testing::TestWithParam<TargetCase> {
protected:
    void SetUp() override { image = read_back(GetParam().target); }
    MsftImage image;
};

TEST_P(ModuleTypeLib, HasTheWriterSizeForThisContent)
{
    EXPECT_EQ(tlb::build_module_typelib(GetParam().target).size(), kExpectedSize);
}

TEST_P(ModuleTypeLib, HeaderFields)
{
    const tlb::MsftHeader& h = image.header;
    EXPECT_EQ(h.magic, 0x5446534Du);
    EXPECT_EQ(h.format_version, 0x00010002u);
    EXPECT_EQ(h.posguid, 0);
    EXPECT_EQ(h.lcid, 1033u);
    EXPECT_EQ(h.lcid2, 0u);
    EXPECT_EQ(h.varflags, GetParam().varflags);
    EXPECT_EQ(h.version, 1u);  // 1.0
    EXPECT_EQ(h.flags, 0u);
    EXPECT_EQ(h.nrtypeinfos, 2);
    EXPECT_EQ(h.helpstring, -1);
    EXPECT_EQ(h.helpstringcontext, 0);
    EXPECT_EQ(h.helpcontext, 0);
    EXPECT_EQ(h.nametablecount, 3);
    EXPECT_EQ(h.nametablechars, 16 + 18 + 17);
    EXPECT_EQ(h.name_offset, 0);
    EXPECT_EQ(h.helpfile, -1);
    EXPECT_EQ(h.custom_data_offset, -1);
    EXPECT_EQ(h.res44, 0x20);
    EXPECT_EQ(h.res48, 0x80);
    EXPECT_EQ(h.dispatchpos, 1);  // import-info entry 0 (IDispatch) + 1
    EXPECT_EQ(h.nimpinfos, 2);
    EXPECT_EQ(image.library_name, "TivOrvantaZNA100");
    EXPECT_EQ(image.library_guid.to_string(), "{CC0FE54A-F447-4D79-AD4D-90F94C59B003}");
}

TEST_P(ModuleTypeLib, SegmentDirectoryInWriterFileOrder)
{
    // header 84 + typeinfo offsets 8 + directory 240 = 332, then typeinfos
    // 200, GUID hash 128, GUIDs 168, references 32, import info 24, import
    // files 56, name hash 512, names 92.
    struct Slot {
        int32_t offset, length;
    };
    const Slot expected[tlb::msft::kSegmentCount] = {
        {332, 200}, {860, 24}, {884, 56}, {828, 32}, {532, 128}, {660, 168}, {940, 512}, {1452, 92},
        {-1, 0},    {-1, 0},   {-1, 0},   {-1, 0},   {-1, 0},    {-1, 0},    {-1, 0}};
    for (size_t i = 0; i < tlb::msft::kSegmentCount; ++i) {
        SCOPED_TRACE("slot " + std::to_string(i));
        EXPECT_EQ(image.segments[i].offset, expected[i].offset);
        EXPECT_EQ(image.segments[i].length, expected[i].length);
        EXPECT_EQ(image.segments[i].res08, -1);
        EXPECT_EQ(image.segments[i].res0c, 0x0F);
    }
    EXPECT_EQ(image.typeinfo_offsets, (std::vector<int32_t>{0, 100}));
}

TEST_P(ModuleTypeLib, DualDispatchInterface)
{
    ASSERT_EQ(image.typeinfos.size(), 2u);
    const tlb::TypeInfoRecord& t = image.typeinfos[0];
    expect_record_fields(t, kRecords[0], GetParam());

    ASSERT_EQ(t.impl_types.size(), 1u);
    const tlb::ImportInfo* base = image.imported_type(t.impl_types[0].hreftype);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(base->type_guid.to_string(), "{00020400-0000-0000-C000-000000000046}");
    EXPECT_EQ(base->library_file, "stdole2.tlb");
    EXPECT_EQ(base->library_guid.to_string(), "{00020430-0000-0000-C000-000000000046}");
    EXPECT_EQ(base->library_major, 2);
    EXPECT_EQ(base->library_minor, 0);
    EXPECT_EQ(image.header.dispatchpos, t.impl_types[0].hreftype);
}

TEST_P(ModuleTypeLib, Coclass)
{
    ASSERT_EQ(image.typeinfos.size(), 2u);
    const tlb::TypeInfoRecord& t = image.typeinfos[1];
    expect_record_fields(t, kRecords[1], GetParam());

    ASSERT_EQ(t.impl_types.size(), 2u);
    EXPECT_EQ(t.impl_types[0].hreftype, 0);
    EXPECT_EQ(t.impl_types[0].impl_flags, 1u);  // IMPLTYPEFLAG_FDEFAULT
    const tlb::TypeInfoRecord* def = image.local_type(t.impl_types[0].hreftype);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->name, "_CTivOrvantaZNA100");

    EXPECT_EQ(t.impl_types[1].hreftype, 13);  // import-info entry 1 (offset 12) + 1
    EXPECT_EQ(t.impl_types[1].impl_flags, 0u);
    const tlb::ImportInfo* server = image.imported_type(t.impl_types[1].hreftype);
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->type_guid.to_string(), "{89078C47-AB89-11D3-B1BC-00C04F794409}");
    EXPECT_EQ(server->library_file, "TivDefn.dll");
    EXPECT_EQ(server->library_guid.to_string(), "{A966A13A-FD2F-11D2-BF83-00C04F794409}");
    EXPECT_EQ(server->library_major, 34);
    EXPECT_EQ(server->library_minor, 2);
    EXPECT_EQ(server->library_lcid, 0u);
    // No typeinfo of the library itself carries IServer's identifier.
    for (const tlb::TypeInfoRecord& ti : image.typeinfos) EXPECT_NE(ti.guid, server->type_guid);
}

TEST_P(ModuleTypeLib, ReferenceRecords)
{
    ASSERT_EQ(image.references.size(), 2u);
    const tlb::RefRecord expected[] = {{0, 0, 1, -1, 16}, {16, 13, 0, -1, -1}};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(image.references[i].offset, expected[i].offset);
        EXPECT_EQ(image.references[i].hreftype, expected[i].hreftype);
        EXPECT_EQ(image.references[i].impl_flags, expected[i].impl_flags);
        EXPECT_EQ(image.references[i].custom_data, expected[i].custom_data);
        EXPECT_EQ(image.references[i].next, expected[i].next);
    }
}

TEST_P(ModuleTypeLib, ImportInfoAndImportFiles)
{
    ASSERT_EQ(image.imports.size(), 2u);
    // {slot | resolve by GUID | TKIND_INTERFACE << 24, import file, GUID entry}
    EXPECT_EQ(image.imports[0].flags, 0x03010000u);
    EXPECT_EQ(image.imports[0].import_file_offset, 0);
    EXPECT_EQ(image.imports[0].guid_or_index, 72);
    EXPECT_EQ(image.imports[1].flags, 0x03010001u);
    EXPECT_EQ(image.imports[1].import_file_offset, 28);
    EXPECT_EQ(image.imports[1].guid_or_index, 144);
    for (const tlb::ImportInfo& i : image.imports) {
        EXPECT_TRUE(i.by_guid);
        EXPECT_EQ(i.type_kind, 3);
    }

    ASSERT_EQ(image.import_files.size(), 2u);
    const struct {
        int32_t offset, guid_offset;
        uint16_t major, minor;
        const char* file_name;
    } files[] = {{0, 48, 2, 0, "stdole2.tlb"}, {28, 120, 0x22, 2, "TivDefn.dll"}};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(files[i].file_name);
        const tlb::ImportFile& f = image.import_files[i];
        EXPECT_EQ(f.offset, files[i].offset);
        EXPECT_EQ(f.guid_offset, files[i].guid_offset);
        EXPECT_EQ(f.lcid, 0u);
        EXPECT_EQ(f.major, files[i].major);
        EXPECT_EQ(f.minor, files[i].minor);
        EXPECT_EQ(f.encoded_length, (11 << 2) | 1);
        EXPECT_EQ(f.file_name, files[i].file_name);
    }
}

TEST_P(ModuleTypeLib, GuidTableAndHash)
{
    struct Row {
        int32_t offset;
        const char* guid;
        int32_t href;
    };
    const Row expected[] = {
        {0, "{CC0FE54A-F447-4D79-AD4D-90F94C59B003}", -2},    // this library
        {24, "{0190584F-0F1B-4C7F-87AD-8BD51D2E8B4E}", 0},    // typeinfo 0
        {48, "{00020430-0000-0000-C000-000000000046}", 2},    // imported library
        {72, "{00020400-0000-0000-C000-000000000046}", 1},    // import-info 0 + 1
        {96, "{68A285B0-5582-4720-A801-BFCEF626BBD6}", 100},  // typeinfo 1
        {120, "{A966A13A-FD2F-11D2-BF83-00C04F794409}", 2},   // imported library
        {144, "{89078C47-AB89-11D3-B1BC-00C04F794409}", 13},  // import-info 12 + 1
    };
    ASSERT_EQ(image.guids.size(), 7u);
    for (size_t i = 0; i < 7; ++i) {
        SCOPED_TRACE(expected[i].guid);
        EXPECT_EQ(image.guids[i].offset, expected[i].offset);
        EXPECT_EQ(image.guids[i].guid.to_string(), expected[i].guid);
        EXPECT_EQ(image.guids[i].hreftype, expected[i].href);
        EXPECT_EQ(image.guids[i].next_hash, -1);  // every GUID has a bucket of its own
    }
    std::vector<int32_t> buckets(32, -1);
    buckets[26] = 0;
    buckets[1] = 24;
    buckets[18] = 48;
    buckets[2] = 72;
    buckets[10] = 96;
    buckets[21] = 120;
    buckets[0] = 144;
    EXPECT_EQ(image.guid_hash, buckets);
}

TEST_P(ModuleTypeLib, NameTableAndHash)
{
    struct Row {
        int32_t offset, href;
        uint8_t flags;
        uint16_t hash;
        const char* name;
    };
    const Row expected[] = {
        {0, -1, 0x00, 0x131F, "TivOrvantaZNA100"},
        {28, 0, 0x38, 0xA3B5, "_CTivOrvantaZNA100"},
        {60, 100, 0x38, 0x37AC, "CTivOrvantaZNA100"},
    };
    ASSERT_EQ(image.names.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(image.names[i].offset, expected[i].offset);
        EXPECT_EQ(image.names[i].hreftype, expected[i].href);
        EXPECT_EQ(image.names[i].next_hash, -1);
        EXPECT_EQ(image.names[i].flags, expected[i].flags);
        EXPECT_EQ(image.names[i].hash, expected[i].hash);
        EXPECT_EQ(image.names[i].name, expected[i].name);
    }
    std::vector<int32_t> buckets(128, -1);
    buckets[0x1F] = 0;
    buckets[0x35] = 28;
    buckets[0x2C] = 60;
    EXPECT_EQ(image.name_hash, buckets);
}

TEST_P(ModuleTypeLib, PadsNamesWithW)
{
    const std::vector<uint8_t> bytes = tlb::build_module_typelib(GetParam().target);
    // "_CTivOrvantaZNA100": 12 + 18 bytes, padded by two to 32.
    EXPECT_EQ(std::string(bytes.begin() + 1452 + 28 + 30, bytes.begin() + 1452 + 60), "WW");
    // "stdole2.tlb": 2 + 11 bytes, padded by three to 16.
    EXPECT_EQ(std::string(bytes.begin() + 884 + 25, bytes.begin() + 884 + 28), "WWW");
}

INSTANTIATE_TEST_SUITE_P(BothTargets, ModuleTypeLib, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<TargetCase>& info) {
                             return std::string(info.param.label);
                         });

TEST(ModuleTypeLibTargets, DifferOnlyInSyskindAndPointerSizes)
{
    const std::vector<uint8_t> a = tlb::build_module_typelib(Target::Win32);
    const std::vector<uint8_t> b = tlb::build_module_typelib(Target::Win64);
    ASSERT_EQ(a.size(), b.size());
    std::vector<size_t> differing;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) differing.push_back(i);
    // varflags; cbSizeVft and instance size of typeinfo 0 (at 332); instance
    // size of typeinfo 1 (at 432).
    EXPECT_EQ(differing, (std::vector<size_t>{0x14, 332 + 0x4E, 332 + 0x50, 432 + 0x50}));
}

TEST(NameHash, MatchesThePlatformValues)
{
    struct Case {
        const char* name;
        uint32_t hash;
    };
    const Case cases[] = {
        {"TivOrvantaZNA100", 0x0010131F},
        {"_CTivOrvantaZNA100", 0x0010A3B5},
        {"CTivOrvantaZNA100", 0x001037AC},
        {"ctivorvantazna100", 0x001037AC},  // letters fold to upper case
        {"IServer", 0x0010F347},
        {"IDispatch", 0x001083D9},
        {"VUV", 0x0010E5CB},
        {"wyw", 0x0010E5CB},   // W counts as V, Y as U
        {"wYw/", 0x00108C1B},  // '/' counts as 0
        {"a/b", 0x00106921},
        {"", 0x00107015},  // the seed alone, reduced
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tlb::lhash_name_sys(1033, c.name), c.hash);
    }
}

TEST(NameHash, FoldsWIntoVAndYIntoU)
{
    EXPECT_EQ(tlb::lhash_name_sys(1033, "W"), tlb::lhash_name_sys(1033, "V"));
    EXPECT_EQ(tlb::lhash_name_sys(1033, "y"), tlb::lhash_name_sys(1033, "U"));
    EXPECT_NE(tlb::lhash_name_sys(1033, "X"), tlb::lhash_name_sys(1033, "V"));
}

TEST(NameHash, RejectsWhatItCannotHashFaithfully)
{
    EXPECT_THROW(tlb::lhash_name_sys(0x0411, "Name"), std::invalid_argument);  // Japanese table
    EXPECT_THROW(tlb::lhash_name_sys(1033, "Caf\xE9"), std::invalid_argument);
}

TEST(GuidHash, BucketIsXorOfWordsLowFiveBits)
{
    struct Case {
        const char* guid;
        int bucket;
    };
    const Case cases[] = {
        {"{CC0FE54A-F447-4D79-AD4D-90F94C59B003}", 26},
        {"{0190584F-0F1B-4C7F-87AD-8BD51D2E8B4E}", 1},
        {"{00020430-0000-0000-C000-000000000046}", 18},
        {"{00020400-0000-0000-C000-000000000046}", 2},
        {"{68A285B0-5582-4720-A801-BFCEF626BBD6}", 10},
        {"{A966A13A-FD2F-11D2-BF83-00C04F794409}", 21},
        {"{89078C47-AB89-11D3-B1BC-00C04F794409}", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tlb::guid_hash_bucket(tlb::Guid::of(c.guid)), c.bucket) << c.guid;
}

TEST(Guid, ParsesAndPrintsRegistryForm)
{
    const auto g = tlb::Guid::parse("{a966a13a-fd2f-11d2-bf83-00c04f794409}");
    ASSERT_TRUE(g.has_value());
    EXPECT_EQ(g->data1, 0xA966A13Au);
    EXPECT_EQ(g->data2, 0xFD2F);
    EXPECT_EQ(g->data3, 0x11D2);
    EXPECT_EQ(g->data4[0], 0xBF);
    EXPECT_EQ(g->data4[7], 0x09);
    EXPECT_EQ(g->to_string(), "{A966A13A-FD2F-11D2-BF83-00C04F794409}");
    const std::array<uint8_t, 16> b = g->bytes();
    EXPECT_EQ(b[0], 0x3A);  // Data1 little-endian
    EXPECT_EQ(b[4], 0x2F);
    EXPECT_EQ(b[8], 0xBF);
    for (const char* bad :
         {"", "A966A13A-FD2F-11D2-BF83-00C04F794409", "{A966A13A-FD2F-11D2-BF83-00C04F79440G}",
          "{A966A13A+FD2F-11D2-BF83-00C04F794409}", "{A966A13A-FD2F-11D2-BF83-00C04F7944090}"})
        EXPECT_FALSE(tlb::Guid::parse(bad).has_value()) << bad;
}

TEST(NameTable, LastNameOfNoTypeinfoRefersToZero)
{
    // The writer leaves the final name entry's reference at 0 instead of -1
    // unless it names a typeinfo; earlier plain names keep -1.
    tlb::NameTable names(1033);
    const int32_t a = names.add("Alpha");
    EXPECT_EQ(names.add("Beta"), 20);
    EXPECT_EQ(names.add("Alpha"), a);  // a name is stored once
    names.mark_typeinfo_name(a, 0x64);
    tlb::ByteWriter out;
    names.write_entries(out);
    const std::vector<uint8_t>& b = out.bytes();
    ASSERT_EQ(b.size(), 36u);  // 12 + 5 padded to 20, then 12 + 4
    auto word = [&](size_t at) {
        return static_cast<int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                    static_cast<uint32_t>(b[at + 3]) << 24);
    };
    EXPECT_EQ(word(0), 0x64);
    EXPECT_EQ(b[9], 0x38);
    EXPECT_EQ(word(20), 0);
    EXPECT_EQ(b[29], 0x00);
    EXPECT_EQ(names.count(), 2u);
    EXPECT_EQ(names.total_chars(), 9u);
}

TEST(MsftLayout, RejectsWhatItDoesNotModel)
{
    tlb::LibraryDesc lib;
    lib.name = "L";
    tlb::TypeInfoDesc ti;
    ti.name = "T";
    ti.kind = tlb::TypeKind::Record;
    lib.typeinfos = {ti};
    EXPECT_THROW(tlb::lay_out_msft(lib), std::invalid_argument);
    lib.typeinfos[0].kind = tlb::TypeKind::Coclass;
    lib.typeinfos[0].impl_types = {{tlb::TypeRef::import(0), 0}};  // no such import
    EXPECT_THROW(tlb::lay_out_msft(lib), std::invalid_argument);
    lib.typeinfos[0].impl_types.clear();
    lib.syskind = tlb::SysKind::Win16;
    EXPECT_THROW(tlb::lay_out_msft(lib), std::invalid_argument);
}

// --- damaged images -------------------------------------------------------

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (size_t i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

struct Damage {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> apply;
    const char* reason;  // part of the expected error message
};
void PrintTo(const Damage& d, std::ostream* out) { *out << d.what; }  // not its raw bytes

// Offsets below are those of the win32 image laid out as the tests above
// expect: typeinfos at 332 and 432, references at 828, import info at 860,
// import files at 884, names at 1452; directory entries at 92 + 16 * slot.
const Damage kDamages[] = {
    {"empty", [](auto& b) { b.clear(); }, "header runs past"},
    {"shorter than the header", [](auto& b) { b.resize(0x53); }, "header runs past"},
    {"header only", [](auto& b) { b.resize(0x54); }, "typeinfo offsets run past"},
    {"directory cut", [](auto& b) { b.resize(300); }, "segment directory runs past"},
    {"typeinfos cut", [](auto& b) { b.resize(400); }, "segment 0 runs past"},
    {"names cut", [](auto& b) { b.resize(1500); }, "segment 7 runs past"},
    {"last byte missing", [](auto& b) { b.pop_back(); }, "segment 7 runs past"},
    {"bad signature", [](auto& b) { b[0] = 'X'; }, "bad signature"},
    {"bad format version", [](auto& b) { put32(b, 4, 0x00010003); }, "unknown MSFT format version"},
    {"negative typeinfo count", [](auto& b) { put32(b, 0x20, 0xFFFFFFFF); },
     "negative typeinfo count"},
    {"huge typeinfo count", [](auto& b) { put32(b, 0x20, 0x7FFFFFFF); },
     "typeinfo offsets run past"},
    {"typeinfo segment too short", [](auto& b) { put32(b, 92 + 4, 150); },
     "typeinfo record runs past its segment"},
    {"segment past end", [](auto& b) { put32(b, 92 + 16 * 7, 1500); }, "segment 7 runs past"},
    {"segment length past end", [](auto& b) { put32(b, 92 + 16 * 7 + 4, 0x7FFFFFF0); },
     "segment 7 runs past"},
    {"segment inside header", [](auto& b) { put32(b, 92 + 16 * 0, 8); },
     "segment 0 has a bad position"},
    {"negative segment length", [](auto& b) { put32(b, 92 + 16 * 3 + 4, 0xFFFFFFF0); },
     "segment 3 has a bad position"},
    {"GUID segment not whole entries", [](auto& b) { put32(b, 92 + 16 * 5 + 4, 100); },
     "not a multiple of 24"},
    {"name length past segment", [](auto& b) { b[1452 + 60 + 8] = 0xFF; },
     "name entry runs past its segment"},
    {"typeinfo name mid-entry", [](auto& b) { put32(b, 332 + 0x34, 4); },
     "typeinfo refers to no name entry"},
    {"typeinfo GUID out of table", [](auto& b) { put32(b, 332 + 0x2C, 1000); },
     "typeinfo refers to no GUID entry"},
    {"library GUID mid-entry", [](auto& b) { put32(b, 0x08, 12); },
     "header refers to no GUID entry"},
    {"import file GUID bad", [](auto& b) { put32(b, 884, 7); },
     "import-file entry refers to no GUID entry"},
    {"import file name too long",
     [](auto& b) {
         b[884 + 12] = 0xFD;
         b[884 + 13] = 0x7F;
     },
     "import-file entry runs past its segment"},
    {"import info file bad", [](auto& b) { put32(b, 860 + 4, 4); },
     "import-info entry refers to no import file"},
    {"import info GUID bad", [](auto& b) { put32(b, 860 + 8, 5000); },
     "import-info entry refers to no GUID entry"},
    {"reference chain broken", [](auto& b) { put32(b, 828 + 12, 40); },
     "chain refers to no reference record"},
    {"reference chain too short", [](auto& b) { b[432 + 0x4C] = 3; },
     "chain refers to no reference record"},
    {"negative implemented-type count", [](auto& b) { b[432 + 0x4D] = 0x80; },
     "negative implemented-type count"},
    {"coclass reference not a record", [](auto& b) { put32(b, 432 + 0x54, 8); },
     "chain refers to no reference record"},
};

class DamagedImage : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedImage, IsRejectedWithAReason)
{
    std::vector<uint8_t> bytes = tlb::build_module_typelib(Target::Win32);
    ASSERT_TRUE(tlb::read_msft(bytes).image.has_value());
    GetParam().apply(bytes);
    // A copy of exactly the damaged size, so a sanitizer sees any overrun.
    std::vector<uint8_t> exact(bytes.begin(), bytes.end());
    const tlb::MsftReadResult r =
        tlb::read_msft(exact.empty() ? nullptr : exact.data(), exact.size());
    EXPECT_FALSE(r.image.has_value());
    EXPECT_FALSE(r.error.empty());
    EXPECT_NE(r.error.find(GetParam().reason), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(Reader, DamagedImage, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& info) {
                             std::string name;
                             for (const char* p = info.param.what; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST(DamagedImageSweep, EveryTruncationIsRejected)
{
    const std::vector<uint8_t> bytes = tlb::build_module_typelib(Target::Win64);
    for (size_t n = 0; n < bytes.size(); ++n) {
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
        EXPECT_FALSE(tlb::read_msft(cut).image.has_value()) << n;
    }
}

TEST(DamagedImageSweep, ByteFlipsNeverCrash)
{
    // Every byte in turn set to a few hostile values: the reader must either
    // accept or reject, never read outside the buffer (checked under ASan).
    const std::vector<uint8_t> bytes = tlb::build_module_typelib(Target::Win32);
    size_t rejected = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        for (uint8_t v : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0xFF}}) {
            std::vector<uint8_t> damaged = bytes;
            damaged[i] = v;
            if (!tlb::read_msft(damaged).image) ++rejected;
        }
    }
    EXPECT_GT(rejected, 0u);
}

}  // namespace
