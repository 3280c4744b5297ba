// The collection object: identity, the five operations, and creation.
// Enumeration lives in collection_enum.cpp, late binding in
// collection_dispatch.cpp.
#include "collection_impl.h"

#include "raised_error.h"

#include <algorithm>
#include <climits>

namespace rt::coll {

namespace {

[[noreturn]] void raise(HRESULT code) { throw RaisedError::failure(code); }

Element* keyed(const KeyIndex& keys, const Selector& s)
{
    Element* found = keys.find_folded(s.key);
    if (!found) raise(kCollInvalidArgument);
    return found;
}

}  // namespace

const Interface<Collection> Collection::kInterfaces[] = {
    answers<Collection, _Collection>(IID_IUnknown),
    answers<Collection, _Collection>(IID_IDispatch),
    answers<Collection, _Collection>(IID__Collection),
    kEndOfInterfaces<Collection>,
};

HRESULT Collection::Item(VARIANT* index, VARIANT* result)
{
    if (!result) return E_POINTER;
    VariantInit(result);
    if (!index) return E_POINTER;
    return status_of([&] {
        const Selector s = selector_of(index);
        const Element* node =
            s.kind == Selector::kKey ? keyed(keys_, s) : elements_[index_of(s)].get();
        const HRESULT hr = VariantCopy(result, const_cast<VARIANT*>(&node->value));
        if (FAILED(hr)) {
            VariantInit(result);
            raise(hr);
        }
    });
}

HRESULT Collection::Add(VARIANT* item, VARIANT* key, VARIANT* before, VARIANT* after)
{
    if (!item) return E_POINTER;
    return status_of([&] {
        const bool has_key = !is_missing(key);
        const KeySource source = has_key ? key_source(key) : KeySource();
        const uint32_t hash = has_key ? key_hash32(source.text()) : 0;
        const KeyIndex::Place place = has_key ? keys_.find(source.text(), hash) : KeyIndex::Place{};
        if (place.found) raise(kCollDuplicateKey);
        const bool appended = is_missing(before) && is_missing(after);
        const std::size_t index = appended ? elements_.size() : insertion_index(before, after);
        if (elements_.size() >= static_cast<std::size_t>(LONG_MAX)) throw std::bad_alloc();

        // Everything that can fail happens before the first change, so a
        // failed Add leaves the collection exactly as it was.
        VARIANT scratch;
        ElementOwner node =
            Element::make(borrowed_value(item, scratch), has_key ? &source : nullptr, arena_);
        if (elements_.size() == elements_.capacity())
            elements_.reserve(std::max<std::size_t>(8, elements_.capacity() * 2));
        if (has_key) {
            keys_.reserve_one_more();
            keys_.insert(node.get(), hash, place);
        }

        if (appended)
            elements_.push_back(std::move(node));  // room reserved above
        else
            elements_.insert(elements_.begin() + static_cast<std::ptrdiff_t>(index),
                             std::move(node));
        for (Enumerator* e = enumerators_; e; e = e->following_) e->inserted_at(index);
    });
}

HRESULT Collection::Count(LONG* count)
{
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(elements_.size());
    return S_OK;
}

HRESULT Collection::Remove(VARIANT* index)
{
    if (!index) return E_POINTER;
    return status_of([&] {
        const std::size_t at = index_of(selector_of(index));
        // Released last: a value whose release calls back into the collection
        // finds it whole.
        const ElementOwner gone = std::move(elements_[at]);
        if (gone->has_key()) keys_.erase(gone.get());
        elements_.erase(elements_.begin() + static_cast<std::ptrdiff_t>(at));
        for (Enumerator* e = enumerators_; e; e = e->following_) e->removed_at(at);
    });
}

HRESULT Collection::_NewEnum(IUnknown** result)
{
    if (!result) return E_POINTER;
    *result = nullptr;
    return status_of([&] { *result = make_checked<Enumerator>(this, 0).release(); });
}

std::size_t Collection::index_of(const Selector& s) const
{
    if (s.kind == Selector::kKey) return index_of_node(keyed(keys_, s));
    if (s.position < 1 || static_cast<std::size_t>(s.position) > elements_.size())
        raise(kCollOutOfRange);
    return static_cast<std::size_t>(s.position) - 1;
}

std::size_t Collection::index_of_node(const Element* node) const noexcept
{
    const auto at = std::find_if(elements_.begin(), elements_.end(),
                                 [node](const ElementOwner& e) { return e.get() == node; });
    return static_cast<std::size_t>(at - elements_.begin());
}

std::size_t Collection::insertion_index(VARIANT* before, VARIANT* after) const
{
    const bool has_before = !is_missing(before);
    const bool has_after = !is_missing(after);
    if (has_before && has_after) raise(kCollInvalidArgument);
    if (has_before) return index_of(selector_of(before));
    if (has_after) return index_of(selector_of(after)) + 1;
    return elements_.size();
}

void Collection::attach(Enumerator* e) noexcept
{
    e->following_ = enumerators_;
    if (enumerators_) enumerators_->prev_ = e;
    enumerators_ = e;
}

void Collection::detach(Enumerator* e) noexcept
{
    if (e->prev_)
        e->prev_->following_ = e->following_;
    else
        enumerators_ = e->following_;
    if (e->following_) e->following_->prev_ = e->prev_;
}

}  // namespace rt::coll

namespace rt {

HRESULT create_collection(_Collection** out) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    return status_of([&] { *out = make_checked<coll::Collection>().release(); });
}

}  // namespace rt
