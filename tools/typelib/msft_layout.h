// Lays out a small type library in the compiled "MSFT" format, field for
// field as the platform's type-library writer (ICreateTypeLib2 and
// SaveAllChanges) stores the same content.
//
// Only what this project needs is modelled: dispatch interfaces and
// component classes without members, implemented or inherited interfaces
// from this library or from imported libraries, no help strings, no custom
// data. Anything outside that is rejected with std::invalid_argument.
#pragma once

#include "guid.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tlb {

enum class TypeKind : uint8_t { Enum, Record, Module, Interface, Dispatch, Coclass, Alias, Union };

enum class SysKind : uint8_t { Win16 = 0, Win32 = 1, Mac = 2, Win64 = 3 };

// IDispatch, in stdole2: the base a dispatch interface's typeinfo refers to.
inline const char kIDispatchIid[] = "{00020400-0000-0000-C000-000000000046}";

// A library whose types are referred to; stored as an import-file entry.
struct ImportedLibrary {
    std::string file_name;
    Guid guid;
    uint16_t major = 0;
    uint16_t minor = 0;
    uint32_t lcid = 0;
};

// A type of an imported library, found there by GUID; stored as an
// import-info entry. `kind` is the type's kind in its own library.
struct ImportedType {
    size_t library = 0;  // index into LibraryDesc::libraries
    Guid guid;
    TypeKind kind = TypeKind::Interface;
};

// A reference to a typeinfo of this library or to an imported type.
struct TypeRef {
    bool imported = false;
    size_t index = 0;  // into LibraryDesc::typeinfos or ::imported_types

    static TypeRef local(size_t i) { return {false, i}; }
    static TypeRef import(size_t i) { return {true, i}; }
};

struct ImplementedType {
    TypeRef ref;
    uint32_t impl_flags = 0;  // IMPLTYPEFLAG_*
};

struct TypeInfoDesc {
    std::string name;
    TypeKind kind = TypeKind::Dispatch;
    Guid guid;
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t type_flags = 0;  // TYPEFLAG_*, stored exactly as given
    // Coclass: the implemented interfaces in order. Dispatch: at most one,
    // the interface it derives from.
    std::vector<ImplementedType> impl_types;
};

struct LibraryDesc {
    std::string name;
    Guid guid;
    uint16_t major = 0;
    uint16_t minor = 0;
    uint32_t registered_lcid = 0;  // header lcid2; 0 means locale neutral
    uint32_t hash_lcid = 0x0409;   // locale the names are hashed for
    uint16_t lib_flags = 0;        // LIBFLAG_*
    SysKind syskind = SysKind::Win32;
    std::vector<ImportedLibrary> libraries;
    std::vector<ImportedType> imported_types;
    std::vector<TypeInfoDesc> typeinfos;
};

// The complete file image.
std::vector<uint8_t> lay_out_msft(const LibraryDesc& library);

}  // namespace tlb
