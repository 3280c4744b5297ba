// The registry and type-library registration functions of the platform, or
// of the stand-in runtime where the platform is absent; same names, same
// signatures.
#pragma once

#include "runtime/automation.h"

#ifndef _WIN32
#  include "runtime/standin/registry.h"
#  include "runtime/standin/typelib_registry.h"
#endif
