// The nine operations, each one body under the shared call discipline.
#include "frame/call_boundary.h"
#include "frame/server_class.h"
#include "frame/server_members.h"
#include "frame/static_bstr.h"

#include "definition/attachment.h"
#include "definition/catalogue.h"
#include "definition/identity.h"
#include "definition/limits.h"
#include "runtime/variant.h"

#include <array>
#include <utility>

namespace orvanta {
namespace {

// What a member's errors are reported against when they have no origin of
// their own.
template <ServerMember M>
constexpr Operation op{"IServer", &IID_IServer, vtable_index_of(M), server_member(M).name};

template <std::size_t... I>
constexpr auto catalogue_strings(std::index_sequence<I...>)
{
    return std::array<StaticBStr<kGuidLength>, sizeof...(I)>{
        StaticBStr<kGuidLength>(kDefaultComponents[I])...};
}

constexpr bool catalogue_holds_guids()
{
    for (auto entry : kDefaultComponents)
        if (entry.size() != kGuidLength) return false;
    return true;
}
static_assert(catalogue_holds_guids(), "every catalogue entry is a GUID in registry form");

constexpr auto kCatalogue =
    catalogue_strings(std::make_index_sequence<kDefaultComponents.size()>{});

rt::BStr new_text(std::u16string_view text)
{
    return rt::BStr::copy_of(ole_units(text), static_cast<UINT>(text.size()));
}

// A text member answers a copy of its constant.
template <ServerMember M>
HRESULT answer_text(IUnknown* self, BSTR* result, std::u16string_view text) noexcept
{
    return run_operation(self, op<M>, result, {}, [text] { return new_text(text); });
}

VARIANT string_value(BSTR s) noexcept
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = s;
    return v;
}

VARIANT string_reference(BSTR* s) noexcept
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_BSTR;
    v.pbstrVal = s;
    return v;
}

}  // namespace

HRESULT CTivOrvantaZNA100::IServer_Name(BSTR* result)
{
    return answer_text<kMemberName>(identity(), result, kServerName);
}

HRESULT CTivOrvantaZNA100::IServer_ReleaseNumber(BSTR* result)
{
    return answer_text<kMemberReleaseNumber>(identity(), result, kReleaseNumber);
}

HRESULT CTivOrvantaZNA100::IServer_Description(BSTR* result)
{
    return answer_text<kMemberDescription>(identity(), result, kServerDescription);
}

HRESULT CTivOrvantaZNA100::IServer_ServerGUID(BSTR* result)
{
    return answer_text<kMemberServerGUID>(identity(), result, kServerGuid);
}

HRESULT CTivOrvantaZNA100::IServer_ServerCategory(BSTR* result)
{
    return answer_text<kMemberServerCategory>(identity(), result, kServerCategory);
}

HRESULT CTivOrvantaZNA100::IServer_DefaultComponents(_Collection** result)
{
    return run_operation(identity(), op<kMemberDefaultComponents>, result, {}, [] {
        rt::ComPtr<_Collection> list;
        const HRESULT created = rt::create_collection(list.put());
        if (FAILED(created)) throw rt::RaisedError::failure(created);
        // Appended at the end, each keyed by itself, in catalogue order.
        VARIANT missing = rt::missing_argument();
        for (const auto& entry : kCatalogue) {
            VARIANT guid = string_value(entry.get());
            rt::check_call(list->Add(&guid, &guid, &missing, &missing), IID__Collection,
                           rt::kVtableAdd, "Add");
        }
        return list;
    });
}

HRESULT CTivOrvantaZNA100::IServer_GetAttachableGUIDs(BSTR* ParentGUID, _Collection** result)
{
    // No parent of this server kind has an attachment list.
    static_assert(!kHasAttachmentLists, "attachment lists would be built here");
    return run_operation(identity(), op<kMemberGetAttachableGUIDs>, result, {ParentGUID},
                         [] { return rt::ComPtr<_Collection>{}; });
}

HRESULT CTivOrvantaZNA100::IServer_IsAttachable(BSTR* ParentGUID, BSTR* AttachmentGUID,
                                                LONG* result)
{
    constexpr const Operation& running = op<kMemberIsAttachable>;
    return run_operation(identity(), running, result, {ParentGUID, AttachmentGUID}, [&]() -> LONG {
        // Obtaining the list: any failure falls back to "no list".
        LONG answer = AttachNoList;
        trap_errors(running, [&] {
            rt::ComPtr<_Collection> list;
            constexpr const Operation& listing = op<kMemberGetAttachableGUIDs>;
            rt::check_call(IServer_GetAttachableGUIDs(ParentGUID, list.put()),
                           IID__CTivOrvantaZNA100, listing.vtable_index, listing.name);
            if (!list) return;

            // The lookup: a failure ends only this step, is noted in the
            // error record, and leaves the text empty. The key goes by
            // reference, so it is always a key, never a position.
            rt::BStr text;
            clear_error_record();
            trap_errors(running, [&] {
                VARIANT key = string_reference(AttachmentGUID);
                rt::Variant element;
                rt::check_call(list->Item(&key, element.put()), IID__Collection, rt::kVtableItem,
                               "Item");
                rt::Variant converted;
                const HRESULT hr = VariantChangeType(converted.put(), element.get(), 0, VT_BSTR);
                if (FAILED(hr)) throw rt::RaisedError::failure(hr);
                text.reset(std::exchange(converted->bstrVal, nullptr));
                converted->vt = VT_EMPTY;
            });
            answer = text.empty() ? AttachNotListed : AttachListed;
        });
        // The inner calls' failures were absorbed into the answer: an error
        // object one of them published is not the caller's to read.
        SetErrorInfo(0, nullptr);
        return answer;
    });
}

HRESULT CTivOrvantaZNA100::IServer_GetMaximumLimit(BSTR* ComponentGUID, VARIANT_BOOL* FamilyTotal,
                                                   LONG* result)
{
    return run_operation(identity(), op<kMemberGetMaximumLimit>, result,
                         {ComponentGUID, FamilyTotal}, [&]() -> LONG {
                             // The caller's string is copied once and never consulted again; the
                             // copy has the length just read.
                             const UINT length = SysStringLen(*ComponentGUID);
                             const rt::BStr copy = rt::BStr::copy_of(*ComponentGUID, length);
                             const LimitAnswer answer = find_limit(text_of(copy.get(), length));
                             *FamilyTotal = answer.family_total ? VARIANT_TRUE : VARIANT_FALSE;
                             return answer.maximum;
                         });
}

}  // namespace orvanta
