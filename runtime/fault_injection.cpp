#include "runtime/fault_injection.h"

#include <atomic>

#ifndef _WIN32
namespace rt::standin {
long strings_alive() noexcept;  // runtime/standin/strings.cpp
}
#endif

namespace rt {
namespace {

// Per thread, so that a sweep over failure points in one test is not
// disturbed by allocations on other threads.
thread_local long t_countdown = 0;  // 0: nothing armed
thread_local long t_seen = 0;

std::atomic<long> g_objects{0};

}  // namespace

void fail_allocation_after(long n)
{
    t_countdown = n > 0 ? n : 0;
    t_seen = 0;
}

bool allocation_should_fail()
{
    ++t_seen;
    if (t_countdown == 0) return false;
    return --t_countdown == 0;
}

long allocations_seen() { return t_seen; }

long live_objects() { return g_objects.load(std::memory_order_relaxed); }
void object_created() { g_objects.fetch_add(1, std::memory_order_relaxed); }
void object_destroyed() { g_objects.fetch_sub(1, std::memory_order_relaxed); }

long live_strings()
{
#ifdef _WIN32
    return 0;
#else
    return standin::strings_alive();
#endif
}

}  // namespace rt
