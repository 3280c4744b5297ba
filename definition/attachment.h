// Attachment rules: which component kinds may be attached under a parent.
#pragma once

#include <cstdint>

namespace orvanta {

// The answer of IsAttachable. Not a Boolean: the listed case is 0.
enum AttachResult : int32_t {
    AttachListed = 0,     // the list holds the key and its value, as text, is not empty
    AttachNotListed = 1,  // the list exists; the lookup failed or gave empty text
    AttachNoList = 2,     // no list, or obtaining it failed
};

// This server kind defines no attachment list for any parent.
inline constexpr bool kHasAttachmentLists = false;

}  // namespace orvanta
