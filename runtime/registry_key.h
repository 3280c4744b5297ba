// Owner of one opened registry key: closed on every path.
#pragma once

#include "runtime/automation.h"

#ifndef _WIN32
#  include "runtime/standin/registry.h"
#endif

#include <utility>

namespace rt {

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    // Handed out by the functions that open a key.
    RegistryKey(RegistryKey&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    ~RegistryKey() { reset(); }

    HKEY get() const noexcept { return h_; }
    // The address for an opening call; closes what was held.
    HKEY* put() noexcept
    {
        reset();
        return &h_;
    }
    void reset() noexcept
    {
        if (HKEY old = std::exchange(h_, nullptr)) RegCloseKey(old);
    }

private:
    HKEY h_ = nullptr;
};

}  // namespace rt
