// orvanta-pecheck --target win32|win64 --typelib LIBRARY.tlb MODULE.dll
// Checks a built module file without running it: machine, the Windows
// version it declares, hardening, exports, imported libraries, the embedded type library (byte for byte against LIBRARY.tlb)
// and the version block. Prints one line per check; exits 0 when all pass,
// 1 when any fails, 2 on bad usage or an unreadable file.
#include "tests/common/expected_identity.h"
#include "tests/pecheck/pe_image.h"
#include "tests/pecheck/version_info.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using pecheck::PeImage;
using pecheck::Resource;
using pecheck::VersionNode;

struct Target {
    const char* name;
    uint16_t machine;
    uint16_t optional_magic;
    uint16_t dll_characteristics;  // all of them must be set
};

// DYNAMIC_BASE (0x40) and NX_COMPAT (0x100) on both, HIGH_ENTROPY_VA (0x20)
// where the address space has room for it.
constexpr Target kTargets[] = {
    {"win32", 0x014C, 0x10B, 0x0140},
    {"win64", 0x8664, 0x20B, 0x0160},
};

// Windows Vista (6.0): the module imports RegDeleteTreeW and, through the
// thread library, GetTickCount64, neither of which older systems have.
constexpr uint16_t kMinimumWindows[2] = {6, 0};
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionWrite = 0x80000000;

// The export table, by ordinal.
constexpr const char* kExports[] = {
    "DllCanUnloadNow",
    "DllGetClassObject",
    "DllRegisterServer",
    "DllUnregisterServer",
};

// Libraries of the system itself; anything else (a compiler runtime DLL, for
// one) would have to ship with the module.
constexpr const char* kSystemLibraries[] = {
    "kernel32.dll", "oleaut32.dll", "ole32.dll", "advapi32.dll", "msvcrt.dll", "user32.dll",
};

constexpr uint16_t kRtVersion = 16;
constexpr uint32_t kEnglishUs = 1033;

struct StringEntry {
    const char* key;
    const char* value;
};

constexpr StringEntry kVersionStrings[] = {
    {"CompanyName", EXPECTED_MAKER},
    {"ProductName", EXPECTED_MODULE},
    {"FileVersion", EXPECTED_VERSION_TEXT},
    {"ProductVersion", EXPECTED_VERSION_TEXT},
    {"InternalName", EXPECTED_MODULE},
    {"OriginalFilename", EXPECTED_MODULE ".dll"},
    {"OLESelfRegister", ""},
};

struct FixedField {
    const char* name;
    std::size_t offset;
    uint32_t expected;
};

constexpr FixedField kFixedInfo[] = {
    {"signature", 0, 0xFEEF04BD},
    {"file version (high)", 8, 0x00030005},
    {"file version (low)", 12, 0x00000073},
    {"product version (high)", 16, 0x00030005},
    {"product version (low)", 20, 0x00000073},
    {"file flags mask", 24, 0x3F},
    {"file flags", 28, 0},
    {"operating system", 32, 4},
    {"file type", 36, 2},
    {"file subtype", 40, 0},
    {"date (high)", 44, 0},
    {"date (low)", 48, 0},
};

int g_failures = 0;

void report(bool ok, const std::string& what, const std::string& detail = "")
{
    if (!ok) ++g_failures;
    std::printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", what.c_str(), detail.empty() ? "" : ": ",
                detail.c_str());
}

std::string hex(uint32_t n)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", n);
    return text;
}

std::string lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool read_file(const char* path, std::vector<uint8_t>& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

uint32_t u32(const std::vector<uint8_t>& b, std::size_t at)
{
    if (at + 4 > b.size()) return 0xFFFFFFFF;
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

void check_machine(const PeImage& image, const Target& target)
{
    report(image.machine == target.machine, "machine is " + std::string(target.name),
           hex(image.machine));
    report(image.optional_magic == target.optional_magic, "optional header format",
           hex(image.optional_magic));
    report((image.characteristics & 0x2000) != 0, "image is a DLL", hex(image.characteristics));
}

void check_platform(const PeImage& image, const Target& target)
{
    auto version = [](const uint16_t(&v)[2]) {
        return std::to_string(v[0]) + "." + std::to_string(v[1]);
    };
    const std::string minimum = version(kMinimumWindows);
    report(version(image.os_version) == minimum, "operating system version " + minimum,
           version(image.os_version));
    report(version(image.subsystem_version) == minimum, "subsystem version " + minimum,
           version(image.subsystem_version));
    report((image.dll_characteristics & target.dll_characteristics) == target.dll_characteristics,
           "DLL characteristics include " + hex(target.dll_characteristics) +
               (target.optional_magic == 0x20B ? " (DYNAMIC_BASE, NX_COMPAT, HIGH_ENTROPY_VA)"
                                               : " (DYNAMIC_BASE, NX_COMPAT)"),
           hex(image.dll_characteristics));
    report(image.relocations_size != 0, "base relocations present",
           std::to_string(image.relocations_size) + " bytes");
    std::string writable_code;
    for (const pecheck::SectionFlags& s : image.sections)
        if ((s.characteristics & kSectionExecute) && (s.characteristics & kSectionWrite))
            writable_code += (writable_code.empty() ? "" : ", ") + s.name;
    report(writable_code.empty(), "no section both writable and executable", writable_code);
}

void check_exports(const PeImage& image)
{
    std::string found;
    for (const pecheck::Export& e : image.exports)
        found += (found.empty() ? "" : ", ") + std::to_string(e.ordinal) + " " +
                 (e.name.empty() ? "(no name)" : e.name);
    bool exact = image.exports.size() == std::size(kExports);
    for (std::size_t i = 0; exact && i < image.exports.size(); ++i) {
        const pecheck::Export& e = image.exports[i];
        exact = e.ordinal == i + 1 && e.name == kExports[i] && e.rva != 0;
    }
    report(exact,
           "exports exactly DllCanUnloadNow @1, DllGetClassObject @2, "
           "DllRegisterServer @3, DllUnregisterServer @4",
           found);
}

void check_imports(const PeImage& image)
{
    std::string all;
    std::string foreign;
    for (const std::string& library : image.imported_libraries) {
        all += (all.empty() ? "" : ", ") + library;
        bool system = false;
        for (const char* known : kSystemLibraries) system = system || lower(library) == known;
        if (!system) foreign += (foreign.empty() ? "" : ", ") + library;
    }
    report(foreign.empty(), "imports only system libraries",
           foreign.empty() ? all : "also " + foreign);
}

const Resource* find_resource(const PeImage& image, bool text_type, uint32_t type_number,
                              const char* type_text, uint32_t name, uint32_t language)
{
    for (const Resource& r : image.resources) {
        const bool type_matches = text_type ? r.type.is_text && r.type.text == type_text
                                            : !r.type.is_text && r.type.number == type_number;
        if (type_matches && !r.name.is_text && r.name.number == name && r.language == language)
            return &r;
    }
    return nullptr;
}

void check_resources(const PeImage& image, const std::vector<uint8_t>& library)
{
    std::string listed;
    for (const Resource& r : image.resources)
        listed += (listed.empty() ? "" : ", ") + r.type.describe() + "/" + r.name.describe() + "/" +
                  std::to_string(r.language);
    report(image.resources.size() == 2, "exactly two resources", listed);

    const Resource* typelib = find_resource(image, true, 0, "TYPELIB", 1, 0);
    report(typelib != nullptr, "TYPELIB 1, language neutral, present");
    if (typelib) {
        report(typelib->bytes.size() >= 4 && std::memcmp(typelib->bytes.data(), "MSFT", 4) == 0,
               "type library is a compiled \"MSFT\" library");
        report(typelib->bytes == library, "type library equals the generated library",
               std::to_string(typelib->bytes.size()) + " bytes embedded, " +
                   std::to_string(library.size()) + " expected");
    }
}

void check_version(const PeImage& image)
{
    const Resource* version = find_resource(image, false, kRtVersion, nullptr, 1, kEnglishUs);
    report(version != nullptr, "version block 1, language 1033, present");
    if (!version) return;
    VersionNode root;
    try {
        root = pecheck::read_version_info(version->bytes);
    } catch (const pecheck::BadImage& e) {
        report(false, "version block readable", e.what());
        return;
    }
    report(root.key == "VS_VERSION_INFO", "version block key", root.key);
    report(root.bytes.size() == 52, "fixed file information present",
           std::to_string(root.bytes.size()) + " bytes");
    for (const FixedField& f : kFixedInfo) {
        const uint32_t value = u32(root.bytes, f.offset);
        report(value == f.expected, std::string("fixed ") + f.name + " is " + hex(f.expected),
               hex(value));
    }

    std::string order;
    for (const VersionNode& c : root.children) order += (order.empty() ? "" : ", ") + c.key;
    report(order == "StringFileInfo, VarFileInfo", "StringFileInfo then VarFileInfo", order);

    const VersionNode* strings = root.child("StringFileInfo");
    const VersionNode* table = strings ? strings->child("040904B0") : nullptr;
    report(table != nullptr && strings->children.size() == 1, "one string table, 040904B0");
    if (table) {
        bool exact = table->children.size() == std::size(kVersionStrings);
        std::string found;
        for (std::size_t i = 0; i < table->children.size(); ++i) {
            const VersionNode& s = table->children[i];
            found += (found.empty() ? "" : ", ") + s.key + "=\"" + s.text + "\"";
            exact = exact && i < std::size(kVersionStrings) && s.key == kVersionStrings[i].key &&
                    s.text == kVersionStrings[i].value && s.type == 1;
        }
        report(exact, "string table keys, order and values", found);
    }

    const VersionNode* vars = root.child("VarFileInfo");
    const VersionNode* translation = vars ? vars->child("Translation") : nullptr;
    report(translation != nullptr &&
               translation->bytes == std::vector<uint8_t>{0x09, 0x04, 0xB0, 0x04},
           "translation 0x409, code page 1200");
}

int usage()
{
    std::fputs("usage: orvanta-pecheck --target win32|win64 --typelib LIBRARY.tlb MODULE.dll\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6 || std::strcmp(argv[1], "--target") != 0 ||
        std::strcmp(argv[3], "--typelib") != 0)
        return usage();
    const Target* target = nullptr;
    for (const Target& t : kTargets)
        if (std::strcmp(argv[2], t.name) == 0) target = &t;
    if (!target) return usage();

    std::vector<uint8_t> library;
    std::vector<uint8_t> module;
    if (!read_file(argv[4], library) || !read_file(argv[5], module)) {
        std::fprintf(stderr, "orvanta-pecheck: cannot read %s or %s\n", argv[4], argv[5]);
        return 2;
    }
    PeImage image;
    try {
        image = pecheck::read_pe(module);
    } catch (const pecheck::BadImage& e) {
        report(false, "readable PE image", e.what());
        return 1;
    }
    check_machine(image, *target);
    check_platform(image, *target);
    check_exports(image);
    check_imports(image);
    check_resources(image, library);
    check_version(image);
    std::printf("%s: %d check(s) failed\n", argv[5], g_failures);
    return g_failures == 0 ? 0 : 1;
}
