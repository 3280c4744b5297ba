// What keeps the module loaded: live objects of the module (instances,
// collections, enumerators; each counts itself from its constructor to its
// destructor) and locks (LockServer and references on the class object).
// Both counts are shared by every thread, so both are atomic.
#pragma once

namespace rt {

void object_created() noexcept;
void object_destroyed() noexcept;
long live_objects() noexcept;

void lock_module() noexcept;
void unlock_module() noexcept;
long module_locks() noexcept;

// True when nothing of the module is outstanding.
bool module_can_unload() noexcept;

}  // namespace rt
