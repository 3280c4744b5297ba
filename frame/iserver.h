// The host's server-definition interface as this module implements it, with
// the identifiers of the module's own class and default interface.
#pragma once

#include "runtime/automation.h"
#include "runtime/collection.h"

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

inline constexpr IID IID_IServer = {
    0x89078C47, 0xAB89, 0x11D3, {0xB1, 0xBC, 0x00, 0xC0, 0x4F, 0x79, 0x44, 0x09}};
inline constexpr IID IID__CTivOrvantaZNA100 = {
    0x0190584F, 0x0F1B, 0x4C7F, {0x87, 0xAD, 0x8B, 0xD5, 0x1D, 0x2E, 0x8B, 0x4E}};
inline constexpr CLSID CLSID_CTivOrvantaZNA100 = {
    0x68A285B0, 0x5582, 0x4720, {0xA8, 0x01, 0xBF, 0xCE, 0xF6, 0x26, 0xBB, 0xD6}};
inline constexpr GUID LIBID_TivOrvantaZNA100 = {
    0xCC0FE54A, 0xF447, 0x4D79, {0xAD, 0x4D, 0x90, 0xF9, 0x4C, 0x59, 0xB0, 0x03}};
inline constexpr GUID LIBID_TivDefn = {
    0xA966A13A, 0xFD2F, 0x11D2, {0xBF, 0x83, 0x00, 0xC0, 0x4F, 0x79, 0x44, 0x09}};

namespace orvanta {

// IServer's operations: dispatch identifiers 1 to 9, vtable slots 7 to 15.
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
constexpr int slot_of(ServerMember m) { return kDispatchEntries + m - kMemberName; }

}  // namespace orvanta
