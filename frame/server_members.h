// IServer's members as late binding and the error record read them: each
// one's name, kind, parameters and the invoker that binds a late-bound call
// to its vtable entry. The module's own; clients need only iserver.h.
#pragma once

#include "frame/iserver.h"
#include "frame/server_dispatch_host.h"
#include "runtime/bstr.h"

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

namespace orvanta {

// The most parameters a member has, the result included.
constexpr UINT kMostParams = 3;

// What the face does with each parameter of a member, the result last.
enum class Use : unsigned char { Read, Written, Result };
struct FaceParam {
    ParamType type;
    Use use;
};

// A late-bound call's argument as the face's entry takes it: the address of a
// String (the caller's own variable when it passed one by reference) or of a
// Boolean, which goes back to the caller's variant when it passed one
// (server_dispatch.cpp binds it).
struct Argument {
    void* address = nullptr;
    BSTR text = nullptr;
    rt::BStr converted;
    VARIANT_BOOL flag = VARIANT_FALSE;
    VARIANT* flag_variant = nullptr;

    // DISP_E_TYPEMISMATCH when the value cannot be the type, DISP_E_PARAMNOTOPTIONAL
    // when it was omitted, E_OUTOFMEMORY when a conversion cannot allocate.
    HRESULT bind(ParamType type, VARIANT* arg) noexcept;
    void write_back() noexcept
    {
        if (!flag_variant) return;
        VariantClear(flag_variant);
        flag_variant->vt = VT_BOOL;
        flag_variant->boolVal = flag;
    }
};

// An entry's result as a late-bound caller receives it.
inline void set_value(VARIANT& v, BSTR text) noexcept
{
    v.vt = VT_BSTR;
    v.bstrVal = text;
}
inline void set_value(VARIANT& v, _Collection* list) noexcept
{
    v.vt = VT_DISPATCH;
    v.pdispVal = list;
}
inline void set_value(VARIANT& v, LONG value) noexcept
{
    v.vt = VT_I4;
    v.lVal = value;
}

// An entry's parameters: what the caller passes, then the result's address.
template <class Entry>
struct EntryShape;
template <class... P>
struct EntryShape<HRESULT (STDMETHODCALLTYPE IServer::*)(P...)> {
    static constexpr UINT kParams = sizeof...(P);
    template <std::size_t I>
    using Param = std::tuple_element_t<I, std::tuple<P...>>;
    static constexpr FaceParam kDescribed[sizeof...(P)] = {
        {std::is_same_v<P, BSTR*>           ? ParamType::String
         : std::is_same_v<P, VARIANT_BOOL*> ? ParamType::Boolean
         : std::is_same_v<P, LONG*>         ? ParamType::Long
                                            : ParamType::Collection,
         std::is_same_v<P, VARIANT_BOOL*> ? Use::Written : Use::Read}...};
};

// Calls the entry with the bound arguments, gives FamilyTotal back and hands
// the result over, or drops it when the caller wants none.
template <auto Entry, std::size_t... I>
HRESULT invoke_entry(IServer* server, [[maybe_unused]] Argument* args, VARIANT* out,
                     std::index_sequence<I...>) noexcept
{
    using Shape = EntryShape<decltype(Entry)>;
    std::remove_pointer_t<typename Shape::template Param<Shape::kParams - 1>> result{};
    const HRESULT hr = (server->*Entry)(
        static_cast<typename Shape::template Param<I>>(args[I].address)..., &result);
    if (FAILED(hr)) return hr;
    VARIANT value;
    VariantInit(&value);
    (args[I].write_back(), ...);
    set_value(value, result);
    if (out)
        *out = value;
    else
        VariantClear(&value);
    return S_OK;
}

template <auto Entry>
HRESULT invoke_entry(IServer* server, Argument* args, VARIANT* out) noexcept
{
    return invoke_entry<Entry>(
        server, args, out, std::make_index_sequence<EntryShape<decltype(Entry)>::kParams - 1>{});
}

// One member of IServer: what name lookup, the check of the host's
// description, invocation and the error record read.
struct ServerMemberInfo {
    const char* name;
    ServerMember id;
    bool property;  // reached by a property read; the others by a method call
    FaceParam params[kMostParams];
    UINT param_count;
    HRESULT (*invoke)(IServer* server, Argument* args, VARIANT* out) noexcept;

    constexpr UINT arguments() const { return param_count - 1; }
};

template <auto Entry>
constexpr ServerMemberInfo member(const char* name, ServerMember id, bool property)
{
    using Shape = EntryShape<decltype(Entry)>;
    ServerMemberInfo m{name, id, property, {}, Shape::kParams, invoke_entry<Entry>};
    for (UINT i = 0; i < Shape::kParams; ++i) m.params[i] = Shape::kDescribed[i];
    m.params[Shape::kParams - 1].use = Use::Result;
    return m;
}

constexpr bool kProperty = true;
constexpr bool kMethod = false;

// In vtable order, which is also the order of the dispatch identifiers.
inline constexpr ServerMemberInfo kServerMembers[] = {
    member<&IServer::get_Name>("Name", kMemberName, kProperty),
    member<&IServer::get_ReleaseNumber>("ReleaseNumber", kMemberReleaseNumber, kProperty),
    member<&IServer::get_Description>("Description", kMemberDescription, kProperty),
    member<&IServer::get_ServerGUID>("ServerGUID", kMemberServerGUID, kProperty),
    member<&IServer::DefaultComponents>("DefaultComponents", kMemberDefaultComponents, kMethod),
    member<&IServer::IsAttachable>("IsAttachable", kMemberIsAttachable, kMethod),
    member<&IServer::GetAttachableGUIDs>("GetAttachableGUIDs", kMemberGetAttachableGUIDs, kMethod),
    member<&IServer::GetMaximumLimit>("GetMaximumLimit", kMemberGetMaximumLimit, kMethod),
    member<&IServer::ServerCategory>("ServerCategory", kMemberServerCategory, kMethod),
};

constexpr bool members_in_order()
{
    int expected = kFirstServerMember;
    for (const ServerMemberInfo& m : kServerMembers)
        if (m.id != expected++) return false;
    return expected == kLastServerMember + 1;
}
static_assert(members_in_order(), "one description per member, in vtable order");

constexpr const ServerMemberInfo& server_member(ServerMember id)
{
    return kServerMembers[id - kFirstServerMember];
}

}  // namespace orvanta
