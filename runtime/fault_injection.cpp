#ifdef ORVANTA_TEST_HOOKS
#  include "runtime/fault_injection.h"

namespace rt {
namespace {

// Per thread, so that a sweep over failure points in one test is not
// disturbed by allocations on other threads.
thread_local long t_countdown = 0;  // 0: nothing armed
thread_local long t_seen = 0;

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

}  // namespace rt
#endif
