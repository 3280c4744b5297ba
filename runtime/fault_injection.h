// Test hook for failure paths: makes the n-th following allocation fail.
// Consulted by the stand-in's string allocation and, on every platform, by
// the runtime's own object creation and collection growth. Counters are per
// thread, so one test's sweep never disturbs another thread.
#pragma once

namespace rt {

// n >= 1: the n-th allocation from now fails (1 = the very next one), once.
// n == 0: no allocation fails.
void fail_allocation_after(long n);

// Called at every allocation point: true when this allocation must fail.
bool allocation_should_fail();

// Allocation points reached on this thread since the last fail_allocation_after.
long allocations_seen();

// Objects of this module still alive (all threads): instances, collections,
// enumerators. Locks and class-object references are counted apart, by the
// module (see module_state.h).
long live_objects();
void object_created();
void object_destroyed();

// Strings allocated by the stand-in and not yet freed (all threads).
// Always 0 on Windows, where the platform owns the string heap.
long live_strings();

}  // namespace rt
