// A reader of Windows PE images (32- and 64-bit) for static checks of a
// built module: machine, required Windows version, hardening, exports,
// imported libraries and resources. Reads
// only; every offset is checked against the file, and a damaged image is
// reported, never trusted.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace pecheck {

struct Export {
    std::string name;  // empty for an export by ordinal only
    uint32_t ordinal;
    uint32_t rva;
};

// A resource type or name: a number, or a text when `text` is set.
struct ResourceId {
    bool is_text = false;
    uint32_t number = 0;
    std::string text;  // ASCII of a text identifier

    std::string describe() const { return is_text ? "\"" + text + "\"" : std::to_string(number); }
};

struct Resource {
    ResourceId type;
    ResourceId name;
    uint32_t language;
    std::vector<uint8_t> bytes;
};

struct SectionFlags {
    std::string name;
    uint32_t characteristics;
};

struct PeImage {
    uint16_t machine = 0;
    uint16_t characteristics = 0;
    uint16_t optional_magic = 0;         // 0x10b PE32, 0x20b PE32+
    uint16_t os_version[2] = {};         // major, minor
    uint16_t subsystem_version[2] = {};  // major, minor
    uint16_t dll_characteristics = 0;
    uint32_t relocations_size = 0;  // of the base relocation directory
    std::vector<SectionFlags> sections;
    std::vector<Export> exports;  // in the order of the export table's functions
    std::vector<std::string> imported_libraries;
    std::vector<Resource> resources;
};

struct BadImage : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws BadImage.
PeImage read_pe(const std::vector<uint8_t>& file);

}  // namespace pecheck
