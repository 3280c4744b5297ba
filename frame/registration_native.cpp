// Registering the module's type library without the platform: the stand-in
// has no type-library loader, so it is given what the platform would read
// from the library the Windows module embeds: TivOrvantaZNA100 1.0, locale 0,
// no library flags, and the one interface it registers, the dual
// _CTivOrvantaZNA100.
#ifndef _WIN32
#  include "frame/registration.h"

#  include "frame/iserver.h"
#  include "frame/static_bstr.h"

namespace orvanta::registration {
namespace {

constexpr StaticBStr<identity::kDefaultInterfaceName.size()> kInterfaceName(
    identity::kDefaultInterfaceName);
constexpr StaticBStr<identity::kModuleName.size()> kLibraryName(identity::kModuleName);

const RegisteredInterface kInterfaces[] = {
    {IID__CTivOrvantaZNA100, kInterfaceName.units},
};

const TypeLibEntries kLibrary = {
    {LIBID_TivOrvantaZNA100, kLibraryLocale, kLibrarySysKind, kLibraryMajor, kLibraryMinor, 0},
    kLibraryName.units,
    kInterfaces,
    1,
};

}  // namespace

HRESULT register_type_library(const PathText& module_path) noexcept
{
    return RegisterTypeLibEntries(&kLibrary, module_path.c_str(), u"");
}

}  // namespace orvanta::registration
#endif
