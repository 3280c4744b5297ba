// Test hook for failure paths: makes the n-th following allocation fail.
// Consulted by the stand-in's string allocation and by the runtime's own
// object creation and collection growth. Compiled only into builds that run
// the tests or the fuzzers (ORVANTA_TEST_HOOKS, set by CMake); everywhere
// else no allocation is ever refused on purpose and the hook costs nothing.
// Counters are per thread, so one test's sweep never disturbs another thread.
#pragma once

namespace rt {

#ifdef ORVANTA_TEST_HOOKS

// n >= 1: the n-th allocation from now fails (1 = the very next one), once.
// n == 0: no allocation fails.
void fail_allocation_after(long n);

// Called at every allocation point: true when this allocation must fail.
bool allocation_should_fail();

// Allocation points reached on this thread since the last fail_allocation_after.
long allocations_seen();

// Strings allocated by the stand-in and not yet freed (all threads;
// runtime/standin/strings.cpp).
long live_strings();

#else

constexpr bool allocation_should_fail() noexcept { return false; }

#endif

}  // namespace rt
