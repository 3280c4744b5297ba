// The collection's storage: key folding and hashing a word at a time, the
// one-block element, and the key index (open addressing with linear probing) (collection_impl.h).
#include "collection_impl.h"

#include "raised_error.h"

#include "unit_words.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace rt::coll {

static_assert(sizeof(OLECHAR) == 2, "keys are read as 16-bit units, four to a word");
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#  error \
      "key words are assembled with the first unit in the low bits, as a little-endian load reads them"
#endif

namespace {

// ---- folding and hashing ----

constexpr uint64_t kNotAscii = 0xFF80FF80FF80FF80u;  // any unit >= 0x80
constexpr uint64_t kCaseBits = 0x0020002000200020u;

// Folds four units below 0x80 at once: a unit from 'A' to 'Z' gains 0x20.
// Each 16-bit lane adds at most 0x7F + 0x3F, so no carry crosses a lane.
constexpr uint64_t fold_ascii_word(uint64_t w) noexcept
{
    const uint64_t at_least_a = w + 0x003F003F003F003Fu;  // bit 7 set from 'A' on
    const uint64_t past_z = w + 0x0025002500250025u;      // bit 7 set from '[' on
    const uint64_t capital = at_least_a & ~past_z & 0x0080008000800080u;
    return w | (capital >> 2);
}

// Units i to n-1 of a text of n (one to three units) as one word, the rest
// zero: the text's last four units read at once and shifted down, or, in a
// text of fewer than four, assembled unit by unit in a register (units
// stored one by one and read back as a word would wait for the stores).
inline uint64_t tail_of(const OLECHAR* p, std::size_t n, std::size_t i) noexcept
{
    if (n >= 4) return word_at(p + n - 4) >> (16 * (4 - (n - i)));
    uint64_t w = 0;
    for (std::size_t k = i; k < n; ++k)
        w |= static_cast<uint64_t>(static_cast<uint16_t>(p[k])) << (16 * (k - i));
    return w;
}

// Each unit of a word as Read gives it, for words with units at or above 0x80.
template <OLECHAR (*Read)(OLECHAR) noexcept>
uint64_t each_unit(uint64_t w) noexcept
{
    OLECHAR units[4];
    std::memcpy(units, &w, sizeof w);
    for (OLECHAR& u : units) u = Read(u);
    return word_at(units);
}

inline uint64_t fold_word(uint64_t w) noexcept
{
    return (w & kNotAscii) ? each_unit<fold_key_char>(w) : fold_ascii_word(w);
}

// What the hash reads of a unit: below 0x80 the unit with 0x20 set, so a
// capital meets its small letter (and a few other pairs meet, which the full
// comparison tells apart); from 0x80 on the folded unit. Either way a unit
// and its folded form read alike.
OLECHAR hashed_unit(OLECHAR u) noexcept
{
    return static_cast<unsigned>(u) < 0x80 ? static_cast<OLECHAR>(u | 0x20) : fold_key_char(u);
}

// Words are taken in pairs, each offset by its own constant and the two
// multiplied (the NH construction): one multiplication per eight units, and
// the products of a block of eight words are independent of one another, so
// they overlap in the processor. Each block's sum is mixed into the running
// state; the final mix spreads every word into the high 32 bits.
// (Offsets below 2^31 fit the processor's add instruction directly.)
constexpr uint64_t kOffsets[8] = {
    0x7F4A7C15u, 0x27D4EB4Fu, 0x1E3779F9u, 0x6659FD93u,
    0x6D558CCDu, 0x1A85EC53u, 0x133111EBu, 0x1CE4E5B9u,
};
constexpr uint64_t kBlockMultiplier = 0x8CB92BA72F3D8DD7u;

inline uint64_t mix(uint64_t state, uint64_t block) noexcept
{
    const uint64_t h = (state ^ block) * kBlockMultiplier;
    return h ^ (h >> 32);
}

// The hash of the words as `read` gives them; `seen` collects every raw
// word, so the caller learns whether any unit was at or above 0x80.
template <class Read>
uint64_t hash_words(const OLECHAR* p, std::size_t n, Read read, uint64_t& seen) noexcept
{
    uint64_t state = 0x9E3779B97F4A7C15u ^ n;
    uint64_t all = 0;
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const uint64_t w0 = word_at(p + i), w1 = word_at(p + i + 4), w2 = word_at(p + i + 8),
                       w3 = word_at(p + i + 12), w4 = word_at(p + i + 16), w5 = word_at(p + i + 20),
                       w6 = word_at(p + i + 24), w7 = word_at(p + i + 28);
        all |= w0 | w1 | w2 | w3 | w4 | w5 | w6 | w7;
        const uint64_t sum = (read(w0) + kOffsets[0]) * (read(w1) + kOffsets[1]) +
                             (read(w2) + kOffsets[2]) * (read(w3) + kOffsets[3]) +
                             (read(w4) + kOffsets[4]) * (read(w5) + kOffsets[5]) +
                             (read(w6) + kOffsets[6]) * (read(w7) + kOffsets[7]);
        state = mix(state, sum);
    }
    // The rest: pairs of words, then a last word or tail paired with zero.
    uint64_t sum = 0;
    std::size_t k = 0;
    for (; i + 8 <= n; i += 8, k += 2) {
        const uint64_t w0 = word_at(p + i), w1 = word_at(p + i + 4);
        all |= w0 | w1;
        sum += (read(w0) + kOffsets[k]) * (read(w1) + kOffsets[k + 1]);
    }
    if (i < n) {
        const uint64_t w0 = i + 4 <= n ? word_at(p + i) : tail_of(p, n, i);
        const uint64_t w1 = i + 4 < n ? tail_of(p, n, i + 4) : 0;
        all |= w0 | w1;
        sum += (read(w0) + kOffsets[k]) * (read(w1) + kOffsets[k + 1]);
    }
    seen = all;
    return mix(state, sum) * kBlockMultiplier;
}

// Whether a folded (when FoldA) equals b folded (when FoldB).
template <bool FoldA, bool FoldB>
bool same_text(KeyView a, KeyView b) noexcept
{
    if (a.size() != b.size()) return false;
    auto read = [](bool fold, uint64_t w) { return fold ? fold_word(w) : w; };
    const std::size_t n = a.size();
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4)
        if (read(FoldA, word_at(a.data() + i)) != read(FoldB, word_at(b.data() + i))) return false;
    return i == n || read(FoldA, tail_of(a.data(), n, i)) == read(FoldB, tail_of(b.data(), n, i));
}

}  // namespace

void fold_into(OLECHAR* out, KeyView text) noexcept
{
    const OLECHAR* p = text.data();
    const std::size_t n = text.size();
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const uint64_t w = fold_word(word_at(p + i));
        std::memcpy(out + i, &w, sizeof w);
    }
    if (i < n) {
        const uint64_t w = fold_word(tail_of(p, n, i));
        for (std::size_t k = 0; i + k < n; ++k) out[i + k] = static_cast<OLECHAR>(w >> (16 * k));
    }
}

uint32_t key_hash32(KeyView text) noexcept
{
    // Plain text first; a text with any unit from 0x80 on is hashed again,
    // reading its units folded.
    uint64_t seen = 0;
    uint64_t h = hash_words(
        text.data(), text.size(), [](uint64_t w) { return w | kCaseBits; }, seen);
    if (seen & kNotAscii) h = hash_words(text.data(), text.size(), each_unit<hashed_unit>, seen);
    return static_cast<uint32_t>(h >> 32);
}

bool same_key_folding(KeyView text, KeyView folded) noexcept
{
    return same_text<true, false>(text, folded);
}

bool same_key(KeyView a, KeyView b) noexcept { return same_text<true, true>(a, b); }

// ---- elements ----

namespace {

// The block: the element (whose last field is a string value's byte
// length); then, for a string value, its units and a zero unit; then, for a
// keyed element whose key is not that very text, the key's units, from the
// next 8-byte boundary.
constexpr std::size_t padded(std::size_t bytes) noexcept { return (bytes + 7) / 8 * 8; }

}  // namespace

KeyView Element::key() const noexcept
{
    const unsigned char* at = reinterpret_cast<const unsigned char*>(text());
    if ((key_shape & kOwnKey) && text_in_block()) at += padded(text_bytes + sizeof(OLECHAR));
    return KeyView(reinterpret_cast<const OLECHAR*>(at), key_shape & kLongestKey);
}

ElementOwner Element::make(const VARIANT& value, const KeySource* key, ElementArena& arena)
{
    const bool text = value.vt == VT_BSTR;
    // Item and key are often one string, whose length the key already knows.
    const std::size_t text_length = !text ? 0
                                    : key && key->units == value.bstrVal
                                        ? key->length
                                        : SysStringLen(value.bstrVal);
    if (key && key->length > kLongestKey) throw std::bad_alloc();
    // A key with the very text of the string value shares it.
    // (Either may be a null string when empty: no comparison then.)
    const bool shared_key =
        key && text && key->length == text_length &&
        (text_length == 0 || key->units == value.bstrVal ||
         std::memcmp(key->units, value.bstrVal, text_length * sizeof(OLECHAR)) == 0);
    const bool own_key = key && !shared_key;
    // Where size_t is 32 bits, a long text must not wrap the block's size.
    constexpr std::size_t kLongestText = (static_cast<std::size_t>(-1) - 256) / 8;
    if (text_length > kLongestText) throw std::bad_alloc();
    const std::size_t text_size = text ? padded((text_length + 1) * sizeof(OLECHAR)) : 0;
    const std::size_t size =
        sizeof(Element) + text_size + (own_key ? key->length * sizeof(OLECHAR) : 0);

    auto* block = static_cast<unsigned char*>(arena.take(padded(size)));
    const bool in_arena = block != nullptr;
    if (!in_arena) {
        consult_allocation_hook();
        block = static_cast<unsigned char*>(::operator new(size));
    }
    ElementOwner element(new (block) Element());
    if (in_arena) element->key_shape = kInArena;
    unsigned char* after = block + sizeof(Element);
    if (text) {
        auto* units = reinterpret_cast<OLECHAR*>(after);
        if (text_length) std::memcpy(units, value.bstrVal, text_length * sizeof(OLECHAR));
        units[text_length] = 0;
        element->text_bytes = static_cast<uint32_t>(text_length * sizeof(OLECHAR));
        element->value.vt = VT_BSTR;
        element->value.bstrVal = units;
    } else {
        const HRESULT hr = VariantCopy(&element->value, const_cast<VARIANT*>(&value));
        if (FAILED(hr)) {
            VariantInit(&element->value);
            throw RaisedError::failure(hr);
        }
    }
    if (key) {
        element->key_shape |= kHasKey | (own_key ? kOwnKey : 0) | key->length;
        if (own_key && key->length)
            std::memcpy(after + text_size, key->units, key->length * sizeof(OLECHAR));
    }
    return element;
}

void ElementDeleter::operator()(Element* element) const noexcept
{
    // A string in the block goes with the block; anything else is released.
    // A block of an arena chunk goes with the chunk.
    if (!element->text_in_block()) VariantClear(&element->value);
    const bool in_arena = (element->key_shape & Element::kInArena) != 0;
    element->~Element();
    if (!in_arena) ::operator delete(element);
}

// ---- the arena ----

ElementArena::~ElementArena()
{
    for (std::size_t i = 0; i < count_; ++i) ::operator delete(chunks_[i]);
}

bool ElementArena::new_chunk()
{
    if (count_ == kChunks) return false;
    const std::size_t chunk = kFirstChunk << count_;
    consult_allocation_hook();
    auto* memory = static_cast<unsigned char*>(::operator new(chunk));
    chunks_[count_++] = memory;
    cursor_ = memory;
    end_ = memory + chunk;
    return true;
}

// ---- the key index ----

KeyIndex::~KeyIndex() { clear(); }

void KeyIndex::clear() noexcept
{
    if (elements_) FallibleAllocator<Element*>().deallocate(elements_, capacity_);
    if (hashes_) FallibleAllocator<uint32_t>().deallocate(hashes_, capacity_);
    hashes_ = nullptr;
    elements_ = nullptr;
    capacity_ = 0;
    used_ = 0;
    shift_ = 32;
}

Element* KeyIndex::find_folded(KeyView folded) const noexcept
{
    if (!used_) return nullptr;
    const uint32_t hash = key_hash32(folded);
    for (std::size_t i = home(hash); elements_[i]; i = next(i))
        if (hashes_[i] == hash && same_key_folding(elements_[i]->key(), folded))
            return elements_[i];
    return nullptr;
}

KeyIndex::Place KeyIndex::find(KeyView text, uint32_t hash) const noexcept
{
    if (!capacity_) return {nullptr, 0, 0};
    std::size_t i = home(hash);
    for (; elements_[i]; i = next(i))
        if (hashes_[i] == hash && same_key(text, elements_[i]->key()))
            return {elements_[i], 0, capacity_};
    return {nullptr, i, capacity_};
}

void KeyIndex::grow()
{
    // The hash has 32 bits, so the home buckets run out at 2^32; a table that
    // large only fills further.
    if (capacity_ >= (std::size_t{1} << 31)) {
        if (used_ + 1 >= capacity_) throw std::bad_alloc();
        return;
    }
    const std::size_t capacity = capacity_ ? capacity_ * 2 : 16;
    if (capacity > static_cast<std::size_t>(-1) / sizeof(Element*)) throw std::bad_alloc();
    unsigned shift = 32;
    for (std::size_t c = capacity; c > 1 && shift > 0; c >>= 1) --shift;
    uint32_t* hashes = FallibleAllocator<uint32_t>().allocate(capacity);
    Element** elements;
    try {
        elements = FallibleAllocator<Element*>().allocate(capacity);
    } catch (...) {
        FallibleAllocator<uint32_t>().deallocate(hashes, capacity);
        throw;
    }
    std::fill_n(elements, capacity, nullptr);
    uint32_t* old_hashes = hashes_;
    Element** old_elements = elements_;
    const std::size_t old_capacity = capacity_;
    hashes_ = hashes;
    elements_ = elements;
    capacity_ = capacity;
    shift_ = shift;
    for (std::size_t i = 0; i < old_capacity; ++i)
        if (old_elements[i]) place(old_elements[i], old_hashes[i]);
    if (old_elements) {
        FallibleAllocator<Element*>().deallocate(old_elements, old_capacity);
        FallibleAllocator<uint32_t>().deallocate(old_hashes, old_capacity);
    }
}

void KeyIndex::erase(const Element* element) noexcept
{
    if (!used_) return;
    // The element's bucket, probed for from the home of its key's hash.
    std::size_t hole = home(key_hash32(element->key()));
    while (elements_[hole] != element) {
        if (!elements_[hole]) return;  // not indexed
        hole = next(hole);
    }
    // Backward shift: each later bucket of the run moves into the hole unless
    // its home lies cyclically after the hole, so no probe ever meets a gap
    // before its element.
    for (std::size_t i = next(hole); elements_[i]; i = next(i)) {
        const std::size_t want = home(hashes_[i]);
        const bool stays = hole <= i ? (hole < want && want <= i) : (hole < want || want <= i);
        if (stays) continue;
        elements_[hole] = elements_[i];
        hashes_[hole] = hashes_[i];
        hole = i;
    }
    elements_[hole] = nullptr;
    --used_;
}

}  // namespace rt::coll
