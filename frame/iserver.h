// The host's server-definition interface as this module implements it, with
// the identifiers of the module's own class and default interface.
#pragma once

#include "definition/module_identity.h"
#include "frame/server_dispatch_host.h"
#include "runtime/automation.h"
#include "runtime/bstr.h"
#include "runtime/collection.h"

#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

// {89078C47-AB89-11D3-B1BC-00C04F794409}: IDispatch's seven entries, then
// exactly these nine operations, consecutive, in this order.
struct IServer : IDispatch {
    STDMETHOD(get_Name)(BSTR* Name) = 0;
    STDMETHOD(get_ReleaseNumber)(BSTR* ReleaseNumber) = 0;
    STDMETHOD(get_Description)(BSTR* Description) = 0;
    STDMETHOD(get_ServerGUID)(BSTR* ServerGUID) = 0;
    STDMETHOD(DefaultComponents)(_Collection** Components) = 0;
    STDMETHOD(IsAttachable)(BSTR* ParentGUID, BSTR* AttachmentGUID, LONG* Result) = 0;
    STDMETHOD(GetAttachableGUIDs)(BSTR* ParentGUID, _Collection** Attachable) = 0;
    STDMETHOD(GetMaximumLimit)(BSTR* ComponentGUID, VARIANT_BOOL* FamilyTotal, LONG* Maximum) = 0;
    STDMETHOD(ServerCategory)(BSTR* Category) = 0;
};

// The class's default interface: a dispatch interface with no members.
struct _CTivOrvantaZNA100 : IDispatch {};

namespace orvanta {

// Whether `text` is a GUID in registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}":
// 38 characters, braces, hyphens where they belong, hexadecimal digits elsewhere.
constexpr bool is_guid_text(std::string_view text)
{
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
    for (std::size_t i = 1; i < 37; ++i) {
        const char c = text[i];
        const bool hyphen_here = i == 9 || i == 14 || i == 19 || i == 24;
        const bool hex_digit =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (hyphen_here ? c != '-' : !hex_digit) return false;
    }
    return true;
}

// Not constexpr: reaching it while evaluating a constant stops the compiler.
inline void malformed_guid_text() noexcept {}

// A GUID from its registry form, at compile time: the identifiers are written
// once, as text, and malformed text does not compile.
constexpr GUID guid_of(std::string_view text)
{
    if (!is_guid_text(text)) malformed_guid_text();
    auto hex = [text](std::size_t at, std::size_t digits) {
        unsigned long value = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            const char c = text[i];
            value =
                value * 16 + static_cast<unsigned long>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        }
        return value;
    };
    GUID g{};
    g.Data1 = static_cast<decltype(g.Data1)>(hex(1, 8));
    g.Data2 = static_cast<decltype(g.Data2)>(hex(10, 4));
    g.Data3 = static_cast<decltype(g.Data3)>(hex(15, 4));
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t at = i < 2 ? 20 + 2 * i : 21 + 2 * i;
        g.Data4[i] = static_cast<unsigned char>(hex(at, 2));
    }
    return g;
}

}  // namespace orvanta

inline constexpr IID IID_IServer = orvanta::guid_of(orvanta::identity::kServerInterfaceId);
inline constexpr IID IID__CTivOrvantaZNA100 =
    orvanta::guid_of(orvanta::identity::kDefaultInterfaceId);
inline constexpr CLSID CLSID_CTivOrvantaZNA100 = orvanta::guid_of(orvanta::identity::kClassId);
inline constexpr GUID LIBID_TivOrvantaZNA100 = orvanta::guid_of(orvanta::identity::kLibraryId);
inline constexpr GUID LIBID_TivDefn = orvanta::guid_of(orvanta::identity::kHostLibraryId);

namespace orvanta {

// IServer's operations: dispatch identifiers 1 to 9, vtable indices 7 to 15.
enum ServerMember : int {
    kMemberName = 1,
    kMemberReleaseNumber,
    kMemberDescription,
    kMemberServerGUID,
    kMemberDefaultComponents,
    kMemberIsAttachable,
    kMemberGetAttachableGUIDs,
    kMemberGetMaximumLimit,
    kMemberServerCategory,
};
constexpr int kFirstServerMember = kMemberName;
constexpr int kLastServerMember = kMemberServerCategory;
constexpr int kDispatchEntries = 7;
constexpr int vtable_index_of(ServerMember m) { return kDispatchEntries + m - kMemberName; }

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
    VARIANT dropped;
    VariantInit(out ? out : &dropped);
    (args[I].write_back(), ...);
    set_value(out ? *out : dropped, result);
    if (!out) VariantClear(&dropped);
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
    FaceParam params[3];
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
