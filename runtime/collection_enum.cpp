// The enumerator that _NewEnum hands out: a place in its collection, kept
// right by the collection as elements come and go (see collection_impl.h).
#include "collection_impl.h"

#include "raised_error.h"

#include <algorithm>

namespace rt::coll {

const Interface<Enumerator> Enumerator::kInterfaces[] = {
    answers<Enumerator, IEnumVARIANT>(IID_IUnknown),
    answers<Enumerator, IEnumVARIANT>(IID_IEnumVARIANT),
    kEndOfInterfaces<Enumerator>,
};

Enumerator::Enumerator(Collection* owner, std::size_t next_index) noexcept
    : hold_(ComPtr<_Collection>::share(owner)), owner_(owner), next_(next_index)
{
    owner_->attach(this);
}

Enumerator::~Enumerator() { owner_->detach(this); }

HRESULT Enumerator::Next(ULONG celt, VARIANT* values, ULONG* fetched)
{
    if (fetched) *fetched = 0;
    // Without a count the caller could not tell how many indices were filled.
    if (!fetched && celt != 1) return E_INVALIDARG;
    if (celt != 0 && !values) return E_POINTER;

    const std::size_t left = owner_->size() - next_;
    const ULONG wanted = static_cast<ULONG>(std::min<std::size_t>(celt, left));
    for (ULONG i = 0; i < wanted; ++i) {
        VariantInit(&values[i]);
        const HRESULT hr =
            VariantCopy(&values[i], const_cast<VARIANT*>(&owner_->value_at(next_ + i)));
        if (FAILED(hr)) {
            // All or nothing: the caller gets no half-filled array, and the
            // next call starts from the same place.
            for (ULONG j = 0; j < i; ++j) VariantClear(&values[j]);
            VariantInit(&values[i]);
            return hr;
        }
    }
    next_ += wanted;
    if (fetched) *fetched = wanted;
    return wanted == celt ? S_OK : S_FALSE;
}

HRESULT Enumerator::Skip(ULONG celt)
{
    const std::size_t step = std::min<std::size_t>(celt, owner_->size() - next_);
    next_ += step;
    return step == celt ? S_OK : S_FALSE;
}

HRESULT Enumerator::Reset()
{
    next_ = 0;
    return S_OK;
}

HRESULT Enumerator::Clone(IEnumVARIANT** result)
{
    if (!result) return E_POINTER;
    *result = nullptr;
    return status_of([&] { *result = make_checked<Enumerator>(owner_, next_).release(); });
}

}  // namespace rt::coll
