// Late binding on the IServer face from the host's own description of IServer.
// When the host's library TivDefn 34.2 is registered and its IServer describes
// exactly what the face does (each member at its vtable index, every
// parameter's type and direction, the result), the platform's automation
// support serves GetTypeInfo, GetIDsOfNames and Invoke from it: member
// identifiers, property and method kinds and argument conversion are then the
// host's. Otherwise, and wherever the platform has no type information, the
// face offers no type information and answers from the class's own table.
#pragma once

#include "runtime/automation.h"
#ifdef _WIN32
#  include "runtime/com_ptr.h"
#endif

struct IServer;

namespace orvanta {

// What a described parameter is, as far as the face can tell: the type it
// points to, and its direction flags reduced to the combinations the face
// tells apart. Anything optional, defaulted or of another type is Other.
enum class ParamType : unsigned char { Other, String, Boolean, Long, Collection };
enum class ParamDirection : unsigned char { Other, In, InOut, Out, Result };
struct DescribedParam {
    ParamType type;
    ParamDirection direction;
};

// One described member: its name, the vtable index it is called through, a
// property read or a method, and its parameters, the result included.
struct DescribedMember {
    const OLECHAR* name;
    int vtable_index;
    bool property;
    const DescribedParam* params;
    UINT param_count;
};

// Whether a described member is exactly one of the IServer face's own
// (server_dispatch.cpp): what the choice below applies, and the probe's
// diagnosis too.
bool own_server_member(const DescribedMember& member) noexcept;

// One per instance. The choice is made at the instance's first call of any
// of IServer's four dispatch entries and kept for its lifetime, with the
// accepted description: the type information handed out, the identifiers
// name lookup gives and the ones invocation takes stay one set, whatever is
// registered or unregistered later. Instances created afterwards choose anew.
class HostDispatch {
public:
    bool serves() noexcept;
    // The description chosen; only when serves().
    HRESULT type_info(ITypeInfo** info) noexcept;
    // `names` and `ids` hold `count` (at least one) entries.
    HRESULT ids_of_names(LPOLESTR* names, UINT count, DISPID* ids) noexcept;
    // `face` is the IServer face: the description's vtable offsets are
    // applied to it. The platform's invocation reads the argument arrays as
    // counted: `params` has passed rt::check_argument_block.
    HRESULT invoke(IServer* face, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excep, UINT* arg_err) noexcept;

#ifdef _WIN32
private:
    enum class Choice : unsigned char { Undecided, OwnTable, Host };
    Choice choice_ = Choice::Undecided;
    rt::ComPtr<ITypeInfo> described_;  // IServer as the library describes it
    rt::ComPtr<ITypeInfo> vtable_;     // its vtable view, which invocation follows
#endif
};

#ifndef _WIN32
// Without the platform's type information the class's own table always
// serves, and the face offers no type information.
inline bool HostDispatch::serves() noexcept { return false; }
inline HRESULT HostDispatch::type_info(ITypeInfo**) noexcept { return E_UNEXPECTED; }
inline HRESULT HostDispatch::ids_of_names(LPOLESTR*, UINT, DISPID*) noexcept
{
    return E_UNEXPECTED;
}
inline HRESULT HostDispatch::invoke(IServer*, DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                    UINT*) noexcept
{
    return E_UNEXPECTED;
}
#endif

}  // namespace orvanta
