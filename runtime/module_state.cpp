#include "runtime/module_state.h"

#include <atomic>

namespace rt {
namespace {
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
}  // namespace

void object_created() noexcept { g_objects.fetch_add(1, std::memory_order_relaxed); }
void object_destroyed() noexcept { g_objects.fetch_sub(1, std::memory_order_relaxed); }
long live_objects() noexcept { return g_objects.load(std::memory_order_relaxed); }

void lock_module() noexcept { ++g_locks; }
void unlock_module() noexcept { --g_locks; }
long module_locks() noexcept { return g_locks.load(); }

bool module_can_unload() noexcept { return g_locks.load() == 0 && live_objects() == 0; }

}  // namespace rt
