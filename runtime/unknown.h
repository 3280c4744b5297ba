// IUnknown for every object of the module, written once: a table of the
// interfaces an object answers to, and one counting policy.
//
// Counting: the class is registered with ThreadingModel "Apartment", so an
// instance, and every collection and enumerator reached through it, is only
// ever called on the thread of the apartment that created it. Their counts
// are therefore plain integers, as the single-thread model of apartment
// objects has it: an interlocked count would cost every call (each operation
// holds a reference on its instance) and buy nothing. What threads do share,
// the class object and the module's counts of live objects and locks, is
// counted atomically in module_state; the class object's references are
// module locks.
#pragma once

#include "runtime/automation.h"
#include "runtime/module_state.h"

namespace rt {

// One interface an object answers to: its identifier and the way from the
// object to it. A table ends with an entry whose iid is null.
template <class Object>
struct Interface {
    const IID* iid;
    IUnknown* (*face)(Object*) noexcept;
};

template <class Object, class Face>
constexpr Interface<Object> answers(const IID& iid) noexcept
{
    return {&iid, [](Object* object) noexcept -> IUnknown* { return static_cast<Face*>(object); }};
}

template <class Object>
constexpr Interface<Object> kEndOfInterfaces = {nullptr, nullptr};

// The count of an apartment object; it also counts the object among the
// module's live objects from construction to destruction. The creator holds
// the first reference.
class ApartmentCount {
public:
    ApartmentCount() noexcept { object_created(); }
    ~ApartmentCount() { object_destroyed(); }

    ULONG add() noexcept { return ++refs_; }
    ULONG release() noexcept { return --refs_; }

private:
    ULONG refs_ = 1;
};

// The count of the class object, which lives as long as the process: its
// references are locks on the module (a host holding it must not see the
// module unloaded), and it is never destroyed.
class ModuleLockCount {
public:
    ULONG add() noexcept
    {
        lock_module();
        return 2;
    }
    ULONG release() noexcept
    {
        unlock_module();
        return 1;
    }
};

// IUnknown of Object, which derives from this with the interfaces it
// implements as Faces and lists what it answers to in a table,
// `static const rt::Interface<Object> kInterfaces[]`. The three members here
// are the final overriders for every face.
template <class Object, class Count, class... Faces>
class Unknown : public Faces... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        for (const Interface<Object>* entry = Object::kInterfaces; entry->iid; ++entry) {
            if (IsEqualIID(*entry->iid, riid)) {
                IUnknown* face = entry->face(static_cast<Object*>(this));
                face->AddRef();
                *ppv = face;
                return S_OK;
            }
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return count_.add(); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = count_.release();
        if (left == 0) delete static_cast<Object*>(this);
        return left;
    }

protected:
    Unknown() noexcept = default;
    ~Unknown() = default;

private:
    Count count_;
};

}  // namespace rt
