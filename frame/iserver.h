// The host's server-definition interface as this module implements it, with
// the identifiers of the module's own class and default interface.
#pragma once

#include "definition/module_identity.h"
#include "runtime/automation.h"
#include "runtime/collection.h"

#include <string_view>
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

}  // namespace orvanta
