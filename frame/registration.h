// What registration publishes, as data, and the two steps behind
// DllRegisterServer and DllUnregisterServer.
//
// Registration writes, in HKEY_CLASSES_ROOT, the class's keys below (through
// the registry) and the module's type library (through the platform's
// type-library registration, which also registers the default interface
// _CTivOrvantaZNA100 under Interface). It writes nothing else; the host's
// library TivDefn is the host's own. Unregistration removes the class's two
// key trees and the type library, each only when present, so both steps may
// be repeated and leave the registry as one call does.
#pragma once

#include "frame/module_instance.h"
#include "frame/platform_registry.h"

#include <cstddef>

namespace orvanta::registration {

enum class Source {
    None,        // the key only
    Text,        // the given text
    ModulePath,  // the module's full path
};

// One key under HKEY_CLASSES_ROOT with at most one string value.
struct ClassEntry {
    const OLECHAR* key;
    const OLECHAR* value_name;  // nullptr: the key's default value
    Source source;
    const OLECHAR* text;  // for Source::Text
};

// Text of the platform's character type from narrow literals and macros
// (OLESTR pastes its prefix onto a single token).
#define ORVANTA_TEXT(literals) OLESTR("") literals
#define ORVANTA_CLSID_TEXT "{68A285B0-5582-4720-A801-BFCEF626BBD6}"
#define ORVANTA_LIBID_TEXT "{CC0FE54A-F447-4D79-AD4D-90F94C59B003}"
#define ORVANTA_PROGID_TEXT "TivOrvantaZNA100.CTivOrvantaZNA100"
#define ORVANTA_CLASS_KEY "CLSID\\" ORVANTA_CLSID_TEXT

inline constexpr ClassEntry kClassEntries[] = {
    {ORVANTA_TEXT(ORVANTA_CLASS_KEY), nullptr, Source::Text, ORVANTA_TEXT(ORVANTA_PROGID_TEXT)},
    {ORVANTA_TEXT(ORVANTA_CLASS_KEY "\\InprocServer32"), nullptr, Source::ModulePath, nullptr},
    {ORVANTA_TEXT(ORVANTA_CLASS_KEY "\\InprocServer32"), ORVANTA_TEXT("ThreadingModel"),
     Source::Text, ORVANTA_TEXT("Apartment")},
    {ORVANTA_TEXT(ORVANTA_CLASS_KEY "\\ProgID"), nullptr, Source::Text,
     ORVANTA_TEXT(ORVANTA_PROGID_TEXT)},
    {ORVANTA_TEXT(ORVANTA_CLASS_KEY "\\VERSION"), nullptr, Source::Text, ORVANTA_TEXT("1.0")},
    {ORVANTA_TEXT(ORVANTA_CLASS_KEY "\\TypeLib"), nullptr, Source::Text,
     ORVANTA_TEXT(ORVANTA_LIBID_TEXT)},
    {ORVANTA_TEXT(ORVANTA_CLASS_KEY "\\Programmable"), nullptr, Source::None, nullptr},
    {ORVANTA_TEXT(ORVANTA_PROGID_TEXT "\\CLSID"), nullptr, Source::Text,
     ORVANTA_TEXT(ORVANTA_CLSID_TEXT)},
};

// The key trees unregistration removes: the class's and its program
// identifier's.
inline constexpr const OLECHAR* kClassTrees[] = {
    ORVANTA_TEXT(ORVANTA_CLASS_KEY),
    ORVANTA_TEXT(ORVANTA_PROGID_TEXT),
};

// The module's type library: version 1.0, locale 0, registered for the
// system kind of this build (win64 for 64-bit code, win32 for 32-bit).
inline constexpr WORD kLibraryMajor = 1;
inline constexpr WORD kLibraryMinor = 0;
inline constexpr LCID kLibraryLocale = 0;
inline constexpr SYSKIND kLibrarySysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
// Its path key, present while the library is registered for this build.
inline constexpr const OLECHAR* kLibraryPathKey =
    sizeof(void*) == 8 ? ORVANTA_TEXT("TypeLib\\" ORVANTA_LIBID_TEXT "\\1.0\\0\\win64")
                       : ORVANTA_TEXT("TypeLib\\" ORVANTA_LIBID_TEXT "\\1.0\\0\\win32");

#undef ORVANTA_TEXT
#undef ORVANTA_CLASS_KEY
#undef ORVANTA_PROGID_TEXT
#undef ORVANTA_LIBID_TEXT
#undef ORVANTA_CLSID_TEXT

// Registers the type library held by the module file at `module_path`
// through the platform's type-library registration, with an empty help
// directory. Platform-specific (registration_windows.cpp,
// registration_native.cpp). The platform's status, unchanged.
HRESULT register_type_library(const PathText& module_path) noexcept;

// DllRegisterServer: the type library, then the class's keys. The first
// failure ends it and is returned unchanged; a registry error code as
// HRESULT_FROM_WIN32.
HRESULT register_server() noexcept;

// DllUnregisterServer: the class's key trees, then the type library.
HRESULT unregister_server() noexcept;

}  // namespace orvanta::registration
