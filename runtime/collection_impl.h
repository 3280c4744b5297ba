// The collection object and its enumerator, shared by the files that
// implement them. Nothing outside the collection includes this.
//
// Storage: each element is a heap node that never moves; a vector of node
// owners keeps the order (position n is slot n-1), and a hash map from the
// folded key text (a view into the node's own copy) finds keyed nodes.
// Enumerators do not point at nodes at all: each holds a reference on its
// collection and the slot of the next element it will return, and the
// collection, which knows its live enumerators, shifts those slots when it
// inserts or removes in front of them. So an enumerator stays valid through
// any change: every element that stays is returned once, a removed element
// not yet reached is never returned, and an element inserted at or after an
// enumerator's place will still be returned by it.
#pragma once

#include "collection.h"
#include "collection_alloc.h"
#include "collection_args.h"
#include "com_ptr.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace rt::coll {

struct Element {
    Element() noexcept { VariantInit(&value); }
    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;
    ~Element() { VariantClear(&value); }

    VARIANT value;
    bool has_key = false;
    KeyText key;  // folded
};

class Enumerator;

class Collection final : public _Collection {
public:
    Collection() noexcept;
    ~Collection();
    Collection(const Collection&) = delete;
    Collection& operator=(const Collection&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

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
    const VARIANT& value_at(std::size_t slot) const noexcept { return elements_[slot]->value; }
    void attach(Enumerator* e) noexcept;
    void detach(Enumerator* e) noexcept;

private:
    using Slots = std::vector<std::unique_ptr<Element>, FallibleAllocator<std::unique_ptr<Element>>>;
    using KeyIndex = std::unordered_map<KeyView, Element*, std::hash<KeyView>, std::equal_to<KeyView>,
                                        FallibleAllocator<std::pair<const KeyView, Element*>>>;

    // The slot an Index, Before or After argument names; raises when no
    // element answers to it.
    std::size_t slot_of(const Selector& s) const;
    std::size_t slot_of_node(const Element* node) const noexcept;
    // Where Add puts the new element, from Before and After.
    std::size_t insertion_slot(VARIANT* before, VARIANT* after) const;

    std::atomic<ULONG> refs_{1};
    Slots elements_;
    KeyIndex keys_;
    Enumerator* enumerators_ = nullptr;  // intrusive list of the live ones
};

class Enumerator final : public IEnumVARIANT {
public:
    Enumerator(Collection* owner, std::size_t next_slot) noexcept;
    ~Enumerator();
    Enumerator(const Enumerator&) = delete;
    Enumerator& operator=(const Enumerator&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) override;

    // Called by the collection as it changes in front of this enumerator.
    void inserted_at(std::size_t slot) noexcept
    {
        if (slot < next_) ++next_;
    }
    void removed_at(std::size_t slot) noexcept
    {
        if (slot < next_) --next_;
    }

private:
    friend class Collection;
    std::atomic<ULONG> refs_{1};
    ComPtr<_Collection> hold_;  // keeps owner_ alive
    Collection* owner_;
    std::size_t next_;
    Enumerator* prev_ = nullptr;
    Enumerator* following_ = nullptr;
};

}  // namespace rt::coll
