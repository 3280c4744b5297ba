// The automation string heap of the stand-in runtime.
//
// A string is one malloc block laid out as the platform lays it out on 64-bit
// systems:
//
//   block + 0   4 bytes padding
//   block + 4   32-bit byte length (terminator not included)
//   block + 8   the characters            <- the BSTR points here
//   ...         16-bit zero terminator
//
// malloc returns 16-byte aligned blocks, so the string itself is 8-byte
// aligned and its length sits, as callers that peek expect, at pointer - 4.
#include "runtime/fault_injection.h"
#include "runtime/standin/oaidl.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

#ifdef ORVANTA_TEST_HOOKS
// Strings allocated and not yet freed, for the tests' leak checks.
std::atomic<long> g_alive{0};
void count_strings(long change) noexcept { g_alive.fetch_add(change, std::memory_order_relaxed); }
#else
constexpr void count_strings(long) noexcept {}
#endif

constexpr std::size_t kPrefix = 8;
constexpr std::size_t kLengthOffset = 4;

// The platform refuses lengths whose block size would not fit in 32 bits.
constexpr UINT kMaxChars = (UINT_MAX - sizeof(OLECHAR) - sizeof(uint32_t)) / sizeof(OLECHAR);

unsigned char* block_of(BSTR s) noexcept { return reinterpret_cast<unsigned char*>(s) - kPrefix; }

uint32_t byte_length(BSTR s) noexcept
{
    uint32_t bytes;
    std::memcpy(&bytes, block_of(s) + kLengthOffset, sizeof bytes);
    return bytes;
}

}  // namespace

#ifdef ORVANTA_TEST_HOOKS
long rt::live_strings() { return g_alive.load(std::memory_order_relaxed); }
#endif

WINOLEAUTAPI_(BSTR) SysAllocStringLen(const OLECHAR* pch, UINT cch)
{
    // A length no block can hold is refused before it counts as an allocation.
    if (cch >= kMaxChars) return nullptr;
    if (rt::allocation_should_fail()) return nullptr;

    const uint32_t bytes = static_cast<uint32_t>(cch) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (!block) return nullptr;

    std::memset(block, 0, kLengthOffset);
    std::memcpy(block + kLengthOffset, &bytes, sizeof bytes);
    auto* text = reinterpret_cast<OLECHAR*>(block + kPrefix);
    if (pch)
        std::memcpy(text, pch, bytes);
    else
        std::memset(text, 0, bytes);  // the platform hands out zeroed content
    text[cch] = 0;

    count_strings(1);
    return text;
}

WINOLEAUTAPI_(BSTR) SysAllocString(const OLECHAR* psz)
{
    if (!psz) return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(std::char_traits<OLECHAR>::length(psz)));
}

WINOLEAUTAPI_(void) SysFreeString(BSTR bstr)
{
    if (!bstr) return;
    count_strings(-1);
    std::free(block_of(bstr));
}

WINOLEAUTAPI_(UINT) SysStringByteLen(BSTR bstr) { return bstr ? byte_length(bstr) : 0; }

WINOLEAUTAPI_(UINT) SysStringLen(BSTR bstr)
{
    return bstr ? byte_length(bstr) / sizeof(OLECHAR) : 0;
}
