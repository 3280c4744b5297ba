// The host's server-definition interface as this module implements it, with
// the identifiers of the module's own class and default interface.
#pragma once

#include "definition/module_identity.h"
#include "runtime/automation.h"
#include "runtime/collection.h"

#include <string_view>
#include <type_traits>

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

// One member of IServer: what name lookup, invocation and the error record
// read. The entry is given by its shape: exactly one of the five is set, and
// it fixes the arguments (String, then String or Boolean by reference) and
// the result (String, Collection or Long).
struct ServerMemberInfo {
    const char* name;
    ServerMember id;
    bool property;  // reached by a property read; the others by a method call
    decltype(&IServer::get_Name) text = nullptr;
    decltype(&IServer::DefaultComponents) list = nullptr;
    decltype(&IServer::GetAttachableGUIDs) list_for = nullptr;
    decltype(&IServer::IsAttachable) answer_for = nullptr;
    decltype(&IServer::GetMaximumLimit) limit_for = nullptr;

    constexpr UINT arguments() const { return text || list ? 0 : list_for ? 1 : 2; }
};

template <class Entry>
constexpr ServerMemberInfo member(const char* name, ServerMember id, bool property, Entry entry)
{
    ServerMemberInfo m{name, id, property};
    if constexpr (std::is_same_v<Entry, decltype(m.text)>) m.text = entry;
    if constexpr (std::is_same_v<Entry, decltype(m.list)>) m.list = entry;
    if constexpr (std::is_same_v<Entry, decltype(m.list_for)>) m.list_for = entry;
    if constexpr (std::is_same_v<Entry, decltype(m.answer_for)>) m.answer_for = entry;
    if constexpr (std::is_same_v<Entry, decltype(m.limit_for)>) m.limit_for = entry;
    return m;
}

constexpr bool kProperty = true;
constexpr bool kMethod = false;

// In vtable order, which is also the order of the dispatch identifiers.
inline constexpr ServerMemberInfo kServerMembers[] = {
    member("Name", kMemberName, kProperty, &IServer::get_Name),
    member("ReleaseNumber", kMemberReleaseNumber, kProperty, &IServer::get_ReleaseNumber),
    member("Description", kMemberDescription, kProperty, &IServer::get_Description),
    member("ServerGUID", kMemberServerGUID, kProperty, &IServer::get_ServerGUID),
    member("DefaultComponents", kMemberDefaultComponents, kMethod, &IServer::DefaultComponents),
    member("IsAttachable", kMemberIsAttachable, kMethod, &IServer::IsAttachable),
    member("GetAttachableGUIDs", kMemberGetAttachableGUIDs, kMethod, &IServer::GetAttachableGUIDs),
    member("GetMaximumLimit", kMemberGetMaximumLimit, kMethod, &IServer::GetMaximumLimit),
    member("ServerCategory", kMemberServerCategory, kMethod, &IServer::ServerCategory),
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
