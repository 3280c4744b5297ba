// How the collection reads its variant arguments: keys, positions and values.
// Everything here raises (rt::RaisedError, std::bad_alloc); the collection's
// operations turn that into their status.
//
// Keys are text, compared after folding letter case. Folding maps these
// capitals to their small letters and nothing else:
//   A-Z; U+00C0-U+00DE except U+00D7; U+0178 to U+00FF;
//   the capital/small pairs of U+0100-U+017E (U+0130 and U+0138 excepted);
//   Greek U+0391-U+03AB except U+03A2; Cyrillic U+0400-U+042F.
// No other equivalence applies (no final sigma, sharp s, accents or widths),
// so a key with other scripts matches only itself.
#pragma once

#include "automation.h"
#include "collection_alloc.h"

#include <string>
#include <string_view>

namespace rt::coll {

using KeyText = std::basic_string<OLECHAR, std::char_traits<OLECHAR>, FallibleAllocator<OLECHAR>>;
using KeyView = std::basic_string_view<OLECHAR>;

OLECHAR fold_key_char(OLECHAR c) noexcept;
KeyText folded_key(const OLECHAR* text, UINT length);

// What an Index, Before or After argument selects.
struct Selector {
    enum Kind { kKey, kPosition } kind;
    KeyText key;         // folded, for kKey
    long position = 0;   // from 1 for kPosition; 0 when no element can have it
};

// A missing optional argument: a null pointer, VT_EMPTY (what a script
// passes for an unset value) or VT_ERROR with DISP_E_PARAMNOTFOUND, each
// also by reference.
bool is_missing(const VARIANT* arg);

// Text selects by key (even text that looks like a number); a number selects
// by position, rounded half to even as the automation runtime rounds.
// Anything else is a type mismatch.
Selector selector_of(const VARIANT* arg);

// The folded key for Add. Text is taken as it is; a number, date, currency
// or Boolean becomes its text as VariantChangeType writes it, so 5 and "5"
// name the same key. Anything else, or a value the runtime cannot write as
// text, is a type mismatch.
KeyText key_of(const VARIANT* arg);

// Copies an argument into an empty dest by value: a by-reference argument is
// dereferenced, so the collection never keeps the caller's pointer.
void copy_by_value(VARIANT* dest, const VARIANT* arg);

}  // namespace rt::coll
