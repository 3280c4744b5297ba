// Late binding on the IServer face from the host's own description of IServer.
// When the host's library TivDefn 34.2 is registered and its IServer lays out
// exactly the face's vtable, the platform's automation support serves
// GetIDsOfNames and Invoke from it: member identifiers, property and method
// kinds and argument conversion are then the host's, and agree with the type
// information the face hands out. Otherwise, and wherever the platform has no
// type information, the face answers from the class's own table.
#pragma once

#include "runtime/automation.h"
#ifdef _WIN32
#  include "runtime/com_ptr.h"
#endif

struct IServer;

namespace orvanta {

// Whether a described member is one of the face's own: its name, the vtable
// index it is called through, a property read or a method, and the number of
// arguments before the result.
using OwnMemberCheck = bool (*)(const OLECHAR* name, int vtable_index, bool property,
                                UINT arguments) noexcept;

// One per instance. The choice is made at the instance's first late-bound
// call and kept for its lifetime, so the identifiers a caller obtained stay
// valid; registering or unregistering the host's library affects instances
// created afterwards.
class HostDispatch {
public:
    bool serves(OwnMemberCheck own) noexcept;
    // `names` and `ids` hold `count` (at least one) entries.
    HRESULT ids_of_names(LPOLESTR* names, UINT count, DISPID* ids) noexcept;
    // `face` is the IServer face: the description's vtable offsets are
    // applied to it.
    HRESULT invoke(IServer* face, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* arg_err) noexcept;

#ifdef _WIN32
private:
    enum class Choice : unsigned char { Undecided, OwnTable, Host };
    Choice choice_ = Choice::Undecided;
    rt::ComPtr<ITypeInfo> description_;  // IServer's vtable view
#endif
};

}  // namespace orvanta
