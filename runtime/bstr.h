// Owner of one automation string: frees it on every path, hands it over with
// detach(). A null BSTR is the empty string throughout.
#pragma once

#include "automation.h"
#include "raised_error.h"

#include <utility>

namespace rt {

class BStr {
public:
    BStr() = default;
    explicit BStr(BSTR adopted) noexcept : s_(adopted) {}
    BStr(const BStr&) = delete;
    BStr& operator=(const BStr&) = delete;
    BStr(BStr&& other) noexcept : s_(other.detach()) {}
    BStr& operator=(BStr&& other) noexcept
    {
        if (this != &other) reset(other.detach());
        return *this;
    }
    ~BStr() { reset(); }

    // Copies of text; raise E_OUTOFMEMORY when the runtime cannot allocate.
    static BStr copy_of(const OLECHAR* text, UINT length)
    {
        BSTR s = SysAllocStringLen(text, length);
        if (!s) throw RaisedError::out_of_memory();
        return BStr(s);
    }
    static BStr copy_of(BSTR text) { return copy_of(text, SysStringLen(text)); }

    BSTR get() const noexcept { return s_; }
    UINT length() const noexcept { return SysStringLen(s_); }
    bool empty() const noexcept { return length() == 0; }
    BSTR* put() noexcept
    {
        reset();
        return &s_;
    }
    BSTR detach() noexcept { return std::exchange(s_, nullptr); }
    void reset(BSTR s = nullptr) noexcept
    {
        if (s_ != s) SysFreeString(std::exchange(s_, s));
    }

private:
    BSTR s_ = nullptr;
};

}  // namespace rt
