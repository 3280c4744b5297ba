// Allocation for the collection and its enumerators. Every allocation asks
// the fault hook once before it is made, so a test can fail any one of them;
// a refused allocation surfaces as std::bad_alloc, which the operation's
// boundary turns into E_OUTOFMEMORY.
#pragma once

#include "fault_injection.h"

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

namespace rt {

inline void consult_allocation_hook()
{
    if (allocation_should_fail()) throw std::bad_alloc();
}

// For the containers: each growth of a vector, each node and bucket array of
// a map, each string buffer beyond the small-string space.
template <class T>
struct FallibleAllocator {
    using value_type = T;

    FallibleAllocator() noexcept = default;
    template <class U>
    FallibleAllocator(const FallibleAllocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t n)
    {
        consult_allocation_hook();
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) noexcept { std::allocator<T>().deallocate(p, n); }

    template <class U>
    bool operator==(const FallibleAllocator<U>&) const noexcept
    {
        return true;
    }
    template <class U>
    bool operator!=(const FallibleAllocator<U>&) const noexcept
    {
        return false;
    }
};

// For single objects: the collection, an element, an enumerator.
template <class T, class... Args>
std::unique_ptr<T> make_checked(Args&&... args)
{
    consult_allocation_hook();
    return std::make_unique<T>(std::forward<Args>(args)...);
}

}  // namespace rt
