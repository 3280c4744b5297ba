#include "frame/module_state.h"

#include "runtime/fault_injection.h"

#include <atomic>

namespace orvanta {
namespace {
std::atomic<long> g_locks{0};
}

void lock_module() noexcept { ++g_locks; }
void unlock_module() noexcept { --g_locks; }
long module_locks() noexcept { return g_locks.load(); }

bool module_can_unload() noexcept { return g_locks.load() == 0 && rt::live_objects() == 0; }

}  // namespace orvanta
