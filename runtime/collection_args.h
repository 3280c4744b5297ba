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
#include "bstr.h"
#include "collection_alloc.h"
#include "late_binding.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace rt::coll {

using KeyText = std::basic_string<OLECHAR, std::char_traits<OLECHAR>, FallibleAllocator<OLECHAR>>;
using KeyView = std::basic_string_view<OLECHAR>;

OLECHAR fold_key_char(OLECHAR c) noexcept;
KeyText folded_key(const OLECHAR* text, UINT length);

// Folding and hashing a word (four units) at a time, for the key index.
void fold_into(OLECHAR* out, KeyView text) noexcept;
// A hash under which texts that fold alike are equal: key_hash32(t) ==
// key_hash32(folded text of t).
uint32_t key_hash32(KeyView text) noexcept;
// Whether two texts are the same key: `text` folded equals `folded`; or
// both, folded, are equal.
bool same_key_folding(KeyView text, KeyView folded) noexcept;
bool same_key(KeyView a, KeyView b) noexcept;

// What an Index, Before or After argument selects.
struct Selector {
    enum Kind { kKey, kPosition } kind;
    KeyText key;        // folded, for kKey
    long position = 0;  // from 1 for kPosition; 0 when no element can have it
};

// The argument's value as a shallow variant: references followed, nothing
// copied. What it points at still belongs to the caller. An argument passed
// by value is read where it is; one passed by reference is read into
// `scratch`.
VARIANT referenced_value(const VARIANT* arg);
inline const VARIANT& borrowed_value(const VARIANT* arg, VARIANT& scratch)
{
    if (arg && !(arg->vt & VT_BYREF)) return *arg;
    scratch = referenced_value(arg);
    return scratch;
}

// A missing optional argument: a null pointer, VT_EMPTY (what a script
// passes for an unset value) or VT_ERROR with DISP_E_PARAMNOTFOUND, each
// also by reference.
inline bool is_missing(const VARIANT* arg)
{
    if (!arg) return true;
    VARIANT scratch;
    const VARIANT& v = borrowed_value(arg, scratch);
    return v.vt == VT_EMPTY || is_omitted(v);
}

// Text selects by key (even text that looks like a number); a number selects
// by position, rounded half to even as the automation runtime rounds.
// Anything else is a type mismatch.
Selector selector_of(const VARIANT* arg);

// The key text for Add, not yet folded. Text is taken as it is; a number,
// date, currency or Boolean becomes its text as VariantChangeType writes it
// (held in `converted`), so 5 and "5" name the same key. Anything else, or a
// value the runtime cannot write as text, is a type mismatch.
struct KeySource {
    const OLECHAR* units = nullptr;
    UINT length = 0;
    BStr converted;

    KeyView text() const noexcept { return KeyView(units, length); }
};
KeySource key_source_of_value(const VARIANT* arg);
inline KeySource key_source(const VARIANT* arg)
{
    if (!arg || arg->vt != VT_BSTR) return key_source_of_value(arg);
    KeySource source;
    source.units = arg->bstrVal;
    source.length = SysStringLen(arg->bstrVal);
    return source;
}

}  // namespace rt::coll
