// The content below, laid out by msft_layout, is byte for byte what the
// platform's type-library writer saves when a creator makes the same calls in
// the same order: library name, identifier, locale, version; then for each
// typeinfo its name, identifier, version and flags, followed by the
// references it makes (the dual flag pulls in IDispatch from stdole2, the
// class refers to its default interface and then to IServer). The result is
// 1544 bytes: header 84, typeinfo offsets 2 x 4, segment directory 240,
// typeinfos 2 x 100, GUID hash 128, GUIDs 7 x 24, reference records 2 x 16,
// import info 2 x 12, import files 2 x 28, name hash 512, names 92.
//
// Libraries for this same content made by other tool chains have been seen
// at 1576 bytes. The extra 32 bytes carry nothing the content calls for (the
// loader finds every type, reference and import without them; 32 bytes would
// be, say, four 8-byte type descriptions that some creators record for
// interface pointers), so they are not reproduced.
#include "msft_writer.h"

#include "msft_layout.h"

#include "definition/module_identity.h"

#include <string>

namespace tlb {

namespace {

// TYPEFLAG_* and IMPLTYPEFLAG_* values of the platform.
constexpr uint16_t kTypeFlagCanCreate = 0x0002;
constexpr uint16_t kTypeFlagHidden = 0x0010;
constexpr uint16_t kTypeFlagDual = 0x0040;
constexpr uint16_t kTypeFlagNonExtensible = 0x0080;
constexpr uint16_t kTypeFlagOleAutomation = 0x0100;
constexpr uint16_t kTypeFlagDispatchable = 0x1000;
constexpr uint32_t kImplTypeFlagDefault = 0x1;

constexpr uint32_t kEnglishUnitedStates = 1033;

// Indices into the description below.
constexpr size_t kStdOle = 0, kTivDefn = 1;     // imported libraries
constexpr size_t kIDispatch = 0, kIServer = 1;  // imported types
constexpr size_t kDefaultInterface = 0;         // typeinfos

namespace id = orvanta::identity;

Guid guid(std::string_view text) { return Guid::of(std::string(text).c_str()); }

// Both typeinfos are version 1.0.
TypeInfoDesc typeinfo(std::string_view name, TypeKind kind, std::string_view guid_text,
                      uint16_t flags, std::vector<ImplementedType> impl_types)
{
    return {std::string(name), kind, guid(guid_text), 1, 0, flags, std::move(impl_types)};
}

}  // namespace

std::vector<uint8_t> build_module_typelib(Target target)
{
    LibraryDesc lib;
    lib.name = std::string(id::kModuleName);
    lib.guid = guid(id::kLibraryId);
    lib.major = id::kLibraryMajor;
    lib.minor = id::kLibraryMinor;
    // Registered locale neutral (registered_lcid 0, no library flags), but
    // names hashed as the project's locale.
    lib.hash_lcid = kEnglishUnitedStates;
    lib.syskind = target == Target::Win64 ? SysKind::Win64 : SysKind::Win32;

    lib.libraries = {
        {"stdole2.tlb", Guid::of("{00020430-0000-0000-C000-000000000046}"), 2, 0, 0},
        {"TivDefn.dll", guid(id::kHostLibraryId), id::kHostLibraryMajor, id::kHostLibraryMinor, 0}};

    // Both imported interfaces are vtable interfaces in their own libraries
    // (IServer derives from IDispatch there), so the references name them as
    // interfaces.
    lib.imported_types = {{kStdOle, Guid::of(kIDispatchIid), TypeKind::Interface},
                          {kTivDefn, guid(id::kServerInterfaceId), TypeKind::Interface}};

    // A dual interface is stored once, as a dispatch typeinfo carrying the
    // dual flag; the loader derives the vtable view from it.
    lib.typeinfos = {
        typeinfo(id::kDefaultInterfaceName, TypeKind::Dispatch, id::kDefaultInterfaceId,
                 kTypeFlagHidden | kTypeFlagDual | kTypeFlagNonExtensible | kTypeFlagOleAutomation |
                     kTypeFlagDispatchable,
                 {{TypeRef::import(kIDispatch), 0}}),
        typeinfo(id::kClassName, TypeKind::Coclass, id::kClassId, kTypeFlagCanCreate,
                 {{TypeRef::local(kDefaultInterface), kImplTypeFlagDefault},
                  {TypeRef::import(kIServer), 0}})};

    return lay_out_msft(lib);
}

}  // namespace tlb
