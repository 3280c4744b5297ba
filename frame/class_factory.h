// The class object of CTivOrvantaZNA100: one per process, never destroyed.
// References on it keep the module loaded, as LockServer does, because a
// host holding it would otherwise call into an unloaded module.
#pragma once

#include "runtime/automation.h"

namespace orvanta {

IClassFactory* class_object() noexcept;

}  // namespace orvanta
