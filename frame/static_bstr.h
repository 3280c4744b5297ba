// Automation strings laid out in constant storage: the length prefix, the
// units and the terminating zero, exactly as the runtime lays out a string
// it allocates. Used to pass constants as string values without allocating;
// never freed, never handed to a caller as its own.
#pragma once

#include "runtime/automation.h"

#include <cstdint>
#include <string_view>

namespace orvanta {

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "automation strings hold 16-bit units");

template <std::size_t N>
struct StaticBStr {
    uint32_t byte_length;
    OLECHAR units[N + 1];

    template <class Char>
    constexpr explicit StaticBStr(std::basic_string_view<Char> text)
        : byte_length(static_cast<uint32_t>(N * sizeof(OLECHAR))), units{}
    {
        for (std::size_t i = 0; i < N; ++i) units[i] = static_cast<OLECHAR>(text[i]);
        units[N] = 0;
    }
    // The string value; the callee only reads it.
    BSTR get() const noexcept { return const_cast<OLECHAR*>(units); }
};

// Views units of the runtime's strings as 16-bit text.
inline std::u16string_view text_of(const OLECHAR* units, std::size_t length) noexcept
{
    return {reinterpret_cast<const char16_t*>(units), length};
}

inline std::u16string_view text_of(BSTR s) noexcept { return text_of(s, SysStringLen(s)); }

inline const OLECHAR* ole_units(std::u16string_view text) noexcept
{
    return reinterpret_cast<const OLECHAR*>(text.data());
}

}  // namespace orvanta
