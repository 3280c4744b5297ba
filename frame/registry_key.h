// Owner of one opened registry key: closed on every path (runtime/registry_key.h).
#pragma once

#include "frame/platform_registry.h"
#include "runtime/registry_key.h"

namespace orvanta {

using RegistryKey = rt::RegistryKey;

}  // namespace orvanta
