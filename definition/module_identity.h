// Who this module is: its names, identifiers and version, written once and
// read by the module, its registration, the type-library writer, the version
// resource (CMake reads this file; keep one `name = value;` per line) and the
// probe. Plain ASCII constants, no platform headers.
#pragma once

#include <string_view>

namespace orvanta::identity {

inline constexpr std::string_view kModuleName = "TivOrvantaZNA100";
inline constexpr std::string_view kClassName = "CTivOrvantaZNA100";
inline constexpr std::string_view kDefaultInterfaceName = "_CTivOrvantaZNA100";
inline constexpr std::string_view kProgramId = "TivOrvantaZNA100.CTivOrvantaZNA100";
inline constexpr std::string_view kCompanyName = "TivOrvanta Components";

// Identifiers in registry form.
inline constexpr std::string_view kClassId = "{68A285B0-5582-4720-A801-BFCEF626BBD6}";
inline constexpr std::string_view kDefaultInterfaceId = "{0190584F-0F1B-4C7F-87AD-8BD51D2E8B4E}";
inline constexpr std::string_view kLibraryId = "{CC0FE54A-F447-4D79-AD4D-90F94C59B003}";
// The host's library TivDefn, version 34.2, and its interface IServer.
inline constexpr std::string_view kHostLibraryId = "{A966A13A-FD2F-11D2-BF83-00C04F794409}";
inline constexpr int kHostLibraryMajor = 34;
inline constexpr int kHostLibraryMinor = 2;
inline constexpr std::string_view kServerInterfaceId = "{89078C47-AB89-11D3-B1BC-00C04F794409}";

// The module's own type library, and the class's version as registered.
inline constexpr int kLibraryMajor = 1;
inline constexpr int kLibraryMinor = 0;
inline constexpr std::string_view kClassVersion = "1.0";

// The file's version: numbers and the text the version block shows.
inline constexpr int kVersionMajor = 3;
inline constexpr int kVersionMinor = 5;
inline constexpr int kVersionPatch = 0;
inline constexpr int kVersionBuild = 115;
inline constexpr std::string_view kVersionText = "3.05.0115";

}  // namespace orvanta::identity
