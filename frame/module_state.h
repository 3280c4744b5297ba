// What keeps the module loaded: live objects of the module (instances,
// collections, enumerators; counted by the runtime) and locks (LockServer and
// references on the class object).
#pragma once

namespace orvanta {

void lock_module() noexcept;
void unlock_module() noexcept;
long module_locks() noexcept;

// True when nothing of the module is outstanding.
bool module_can_unload() noexcept;

}  // namespace orvanta
