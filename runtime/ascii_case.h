// Letter case as the platform's names and registry keys ignore it: ASCII
// letters only, every other unit compared as it is.
#pragma once

namespace rt {

constexpr unsigned ascii_upper(unsigned c) noexcept
{
    return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
}

}  // namespace rt
