// Who this server kind is. Texts are exact: letter case is part of each value.
#pragma once

#include <string_view>

namespace orvanta {

inline constexpr std::u16string_view kServerCategory = u"{D1104FC1-DCEE-11d2-BFC6-00C04F79999C}";
// Name and Description are one text.
inline constexpr std::u16string_view kServerName = u"Orvanta ZNA";
inline constexpr std::u16string_view kServerDescription = kServerName;
inline constexpr std::u16string_view kReleaseNumber = u"R100";
inline constexpr std::u16string_view kServerGuid = u"{924DA0D6-5E19-4ff4-8056-B37E8A8C0670}";

// Length of a component GUID in registry form, braces and hyphens included.
inline constexpr std::size_t kGuidLength = 38;

}  // namespace orvanta
