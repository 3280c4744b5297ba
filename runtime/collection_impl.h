// The collection object and its enumerator, shared by the files that
// implement them. Nothing outside the collection includes this.
//
// Storage: each element is one block that never moves, holding its value
// and, when keyed, its key; a string value's text lies in the block too,
// laid out as the runtime lays out a string, so adding a string needs at
// most one allocation. The first 16 KB or so of small elements are carved
// from a few chunks the collection owns, so a collection of the module's
// size allocates a handful of times, not once per element. A vector of
// element owners keeps the order (position n is index n-1), and an
// open-addressing table of key hashes and elements finds keyed elements; it
// grows by doubling and needs no allocation per insert (collection_keys.cpp).
// Enumerators do not point at elements at all: each holds a reference on its
// collection and the index of the next element it will return, and the
// collection, which knows its live enumerators, shifts those indices when it
// inserts or removes in front of them. So an enumerator stays valid through
// any change: every element that stays is returned once, a removed element
// not yet reached is never returned, and an element inserted at or after an
// enumerator's place will still be returned by it.
#pragma once

#include "collection.h"
#include "collection_alloc.h"
#include "collection_args.h"
#include "com_ptr.h"
#include "unknown.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace rt::coll {

// What owns memory by plain pointers, or is pointed at from elsewhere, is
// never copied.
struct NotCopied {
    NotCopied() = default;
    NotCopied(const NotCopied&) = delete;
    NotCopied& operator=(const NotCopied&) = delete;
};

struct Element;
struct ElementDeleter {
    void operator()(Element* element) const noexcept;
};
using ElementOwner = std::unique_ptr<Element, ElementDeleter>;

// The key is kept as given, not folded: every comparison folds as it reads,
// a word at a time. So a key with the same text as its string value (as the
// module's own collections add them) shares that text, and an element of a
// GUID string keyed by itself is one block of 110 bytes, small enough for
// the allocator's quickest size classes.
struct Element : NotCopied {
    // VT_EMPTY, as VariantInit leaves it.
    Element() noexcept { std::memset(&value, 0, sizeof value); }

    // A string value's text follows the element, its byte length in
    // text_bytes just before it, as the runtime lays out a string; bstrVal
    // points at it and it is never freed on its own (text_in_block). Any
    // other value is the element's own.
    VARIANT value;
    uint32_t key_shape = 0;  // flags and length, below
    uint32_t text_bytes = 0;

    static constexpr uint32_t kHasKey = 0x80000000u;
    static constexpr uint32_t kOwnKey = 0x40000000u;      // the key's units follow the text
    static constexpr uint32_t kInArena = 0x20000000u;     // the block belongs to an arena chunk
    static constexpr uint32_t kLongestKey = 0x1FFFFFFFu;  // units

    bool has_key() const noexcept { return (key_shape & kHasKey) != 0; }
    KeyView key() const noexcept;
    bool text_in_block() const noexcept { return value.vt == VT_BSTR && value.bstrVal == text(); }

    // A new element in one block, from `arena` when it has room: a copy of
    // `value` (shallow, references already followed) and, when `key` is
    // given, that key. Raises (std::bad_alloc, or the copy's failure).
    static ElementOwner make(const VARIANT& value, const KeySource* key, class ElementArena& arena);

private:
    const OLECHAR* text() const noexcept { return reinterpret_cast<const OLECHAR*>(this + 1); }
};
static_assert(sizeof(Element) % 8 == 0 && offsetof(Element, text_bytes) + 4 == sizeof(Element),
              "a string's length sits just before its text, which starts 8-byte aligned");

// Chunks that small elements are carved from: at most five, of 512 bytes to
// 8 KB, taken as they are needed. A block carved from a chunk is not given
// back when its element goes (the chunk cannot be shrunk); the chunks are
// freed with the collection, so a collection keeps at most 16 KB this way.
class ElementArena : NotCopied {
public:
    ~ElementArena();

    // A block of `size` bytes (a multiple of 8), or null when the block is
    // too large for the arena or the arena is spent: the caller then
    // allocates it alone. Raises std::bad_alloc when a new chunk is needed
    // and cannot be had.
    void* take(std::size_t size)
    {
        if (size > kLargestBlock) return nullptr;
        if (static_cast<std::size_t>(end_ - cursor_) < size && !new_chunk()) return nullptr;
        void* block = cursor_;
        cursor_ += size;
        return block;
    }

private:
    bool new_chunk();

    static constexpr std::size_t kChunks = 5;
    static constexpr std::size_t kFirstChunk = 512;
    static constexpr std::size_t kLargestBlock = 256;

    void* chunks_[kChunks] = {};
    std::size_t count_ = 0;
    unsigned char* cursor_ = nullptr;
    unsigned char* end_ = nullptr;
};

// Keyed elements by the hash of their key: linear probing in two arrays,
// the hashes and the elements, kept at most half full; a probe reads the
// dense hashes and touches an element only when its hash is equal. Room is
// made before an insert, so an insert never fails and a failed growth
// changes nothing.
class KeyIndex : NotCopied {
public:
    ~KeyIndex();

    // The element keyed by this folded text, or null.
    Element* find_folded(KeyView folded) const noexcept;
    // Where a text's element is or would go: the element keyed by this
    // text (not folded), or null with `free` the index an insert of it would
    // take; `hash` is key_hash32(text).
    struct Place {
        Element* found;
        std::size_t free;
        std::size_t capacity;  // of the table `free` belongs to
    };
    Place find(KeyView text, uint32_t hash) const noexcept;
    // Room for one more (raises std::bad_alloc); then insert cannot fail.
    void reserve_one_more()
    {
        if ((used_ + 1) * 2 > capacity_) grow();
    }
    // Inserts at the place find gave, unless the table has grown since.
    void insert(Element* element, uint32_t hash, const Place& place) noexcept
    {
        if (place.capacity == capacity_) {
            elements_[place.free] = element;
            hashes_[place.free] = hash;
        } else {
            this->place(element, hash);
        }
        ++used_;
    }
    void erase(const Element* element) noexcept;
    void clear() noexcept;

private:
    std::size_t home(uint32_t hash) const noexcept
    {
        return static_cast<std::size_t>(hash >> shift_);
    }
    std::size_t next(std::size_t i) const noexcept { return (i + 1) & (capacity_ - 1); }
    void place(Element* element, uint32_t hash) noexcept
    {
        std::size_t i = home(hash);
        while (elements_[i]) i = next(i);
        elements_[i] = element;
        hashes_[i] = hash;
    }
    void grow();

    uint32_t* hashes_ = nullptr;
    Element** elements_ = nullptr;  // null: free
    std::size_t capacity_ = 0;      // 0 or a power of two
    std::size_t used_ = 0;
    unsigned shift_ = 32;  // 32 - log2(capacity)
};

class Enumerator;

class Collection final : public Unknown<Collection, ApartmentCount, _Collection> {
public:
    static const Interface<Collection> kInterfaces[];

    // IDispatch (collection_dispatch.cpp)
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                            LCID lcid, DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // _Collection
    HRESULT STDMETHODCALLTYPE Item(VARIANT* Index, VARIANT* pvarRet) override;
    HRESULT STDMETHODCALLTYPE Add(VARIANT* Item, VARIANT* Key, VARIANT* Before,
                                  VARIANT* After) override;
    HRESULT STDMETHODCALLTYPE Count(LONG* pi4) override;
    HRESULT STDMETHODCALLTYPE Remove(VARIANT* Index) override;
    HRESULT STDMETHODCALLTYPE _NewEnum(IUnknown** ppunk) override;

    // For enumerators.
    std::size_t size() const noexcept { return elements_.size(); }
    const VARIANT& value_at(std::size_t index) const noexcept { return elements_[index]->value; }
    void attach(Enumerator* e) noexcept;
    void detach(Enumerator* e) noexcept;

private:
    using Elements = std::vector<ElementOwner, FallibleAllocator<ElementOwner>>;

    // The index an Index, Before or After argument names; raises when no
    // element answers to it.
    std::size_t index_of(const Selector& s) const;
    std::size_t index_of_node(const Element* node) const noexcept;
    // Where Add puts the new element, from Before and After.
    std::size_t insertion_index(VARIANT* before, VARIANT* after) const;

    // Destroyed in reverse order, and all before the base's count drops, so a
    // module asked whether it may unload never sees zero while element objects
    // are still being released.
    ElementArena arena_;  // outlives the elements carved from it
    Elements elements_;
    KeyIndex keys_;
    Enumerator* enumerators_ = nullptr;  // intrusive list of the live ones
};

class Enumerator final : public Unknown<Enumerator, ApartmentCount, IEnumVARIANT>, NotCopied {
public:
    Enumerator(Collection* owner, std::size_t next_index) noexcept;
    ~Enumerator();

    static const Interface<Enumerator> kInterfaces[];
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) override;

    // Called by the collection as it changes in front of this enumerator.
    void inserted_at(std::size_t index) noexcept
    {
        if (index < next_) ++next_;
    }
    void removed_at(std::size_t index) noexcept
    {
        if (index < next_) --next_;
    }

private:
    friend class Collection;
    ComPtr<_Collection> hold_;  // keeps owner_ alive
    Collection* owner_;
    std::size_t next_;
    Enumerator* prev_ = nullptr;
    Enumerator* following_ = nullptr;
};

}  // namespace rt::coll
