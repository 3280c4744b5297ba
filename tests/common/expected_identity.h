// The module's identity as every check expects it: written out by hand,
// independently of the module's own definition/module_identity.h, and read
// by the C++ checks (the static checker, the tests) and, through
// scripts/expected.sh, by the scripts. One `#define NAME "text"` per line.
#pragma once

#define EXPECTED_MODULE "TivOrvantaZNA100"
#define EXPECTED_MAKER "TivOrvanta Components"
// The version as the version block shows it, as file names carry it, and as
// the installer compares it (three fields: the build number last).
#define EXPECTED_VERSION_TEXT "3.05.0115"
#define EXPECTED_FILE_VERSION "3.5.0.115"
#define EXPECTED_PACKAGE_VERSION "3.5.115"
// The package one build number higher, for the upgrade test.
#define EXPECTED_NEXT_FILE_VERSION "3.5.0.116"
#define EXPECTED_NEXT_PACKAGE_VERSION "3.5.116"
