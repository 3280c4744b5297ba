// What registration publishes, as data, and the two steps behind
// DllRegisterServer and DllUnregisterServer.
//
// Registration writes, in HKEY_CLASSES_ROOT, the module's type library
// (through the platform's type-library registration, which also registers the
// default interface _CTivOrvantaZNA100 under Interface) and the keys below
// (through the registry). It writes nothing else; the host's library TivDefn
// is the host's own. It is all or nothing: after a failure at any step, what
// the earlier steps wrote is removed again. Unregistration removes the
// class's two key trees and the type library, each only when present, so
// both steps may be repeated and leave the registry as one call does.
#pragma once

#include "definition/module_identity.h"
#include "frame/module_instance.h"
#include "frame/platform_registry.h"

#include <string_view>

namespace orvanta::registration {

enum class Source {
    None,            // the key only
    Text,            // the given text
    ModulePath,      // the module's full path
    LibraryVersion,  // the type library's "<major>.<minor>", in hexadecimal
};

// The key trees registration writes: CLSID\{class identifier}, the program
// identifier's and, through the type library, Interface\{default interface}.
enum class Tree { Class, ProgramId, Interface };

// The platform's automation marshaler, which serves dual interfaces.
inline constexpr std::string_view kAutomationMarshaler = "{00020424-0000-0000-C000-000000000046}";

// One key under HKEY_CLASSES_ROOT with at most one string value. Keys and
// texts are ASCII, composed from the module's identity when written.
struct ClassEntry {
    Tree tree;
    std::string_view subkey;  // below the tree; empty: the tree's own key
    const char* value_name;   // nullptr: the key's default value
    Source source;
    std::string_view text;  // for Source::Text
};

inline constexpr ClassEntry kClassEntries[] = {
    {Tree::Class, "", nullptr, Source::Text, identity::kProgramId},
    {Tree::Class, "\\InprocServer32", nullptr, Source::ModulePath, {}},
    {Tree::Class, "\\InprocServer32", "ThreadingModel", Source::Text, "Apartment"},
    {Tree::Class, "\\ProgID", nullptr, Source::Text, identity::kProgramId},
    {Tree::Class, "\\VERSION", nullptr, Source::Text, identity::kClassVersion},
    {Tree::Class, "\\TypeLib", nullptr, Source::Text, identity::kLibraryId},
    {Tree::Class, "\\Programmable", nullptr, Source::None, {}},
    {Tree::ProgramId, "\\CLSID", nullptr, Source::Text, identity::kClassId},
};

// The default interface's keys, as the platform's type-library registration
// writes them. It ignores failures there, so they are written once more,
// where a failure is seen.
inline constexpr ClassEntry kInterfaceEntries[] = {
    {Tree::Interface, "", nullptr, Source::Text, identity::kDefaultInterfaceName},
    {Tree::Interface, "\\ProxyStubClsid", nullptr, Source::Text, kAutomationMarshaler},
    {Tree::Interface, "\\ProxyStubClsid32", nullptr, Source::Text, kAutomationMarshaler},
    {Tree::Interface, "\\TypeLib", nullptr, Source::Text, identity::kLibraryId},
    {Tree::Interface, "\\TypeLib", "Version", Source::LibraryVersion, {}},
};

// The key trees unregistration removes: the class's and its program
// identifier's.
inline constexpr Tree kClassTrees[] = {Tree::Class, Tree::ProgramId};

// The module's type library: version 1.0, locale 0, registered for the
// system kind of this build (win64 for 64-bit code, win32 for 32-bit).
inline constexpr WORD kLibraryMajor = identity::kLibraryMajor;
inline constexpr WORD kLibraryMinor = identity::kLibraryMinor;
inline constexpr LCID kLibraryLocale = 0;
inline constexpr SYSKIND kLibrarySysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

// The registry path of a key in a tree. Allocates; throws std::bad_alloc.
PathText key_path(Tree tree, std::string_view subkey = {});

// Registers the type library held by the module file at `module_path`
// through the platform's type-library registration, with an empty help
// directory. Platform-specific (registration_windows.cpp,
// registration_native.cpp). The platform's status, unchanged.
HRESULT register_type_library(const PathText& module_path) noexcept;

// DllRegisterServer: the type library, its interface's keys, then the
// class's keys. The first failure ends it and is returned unchanged (a
// registry error code as HRESULT_FROM_WIN32), once everything it wrote is
// removed again.
HRESULT register_server() noexcept;

// DllUnregisterServer: the class's key trees, then the type library.
HRESULT unregister_server() noexcept;

}  // namespace orvanta::registration
