// The frame every operation runs in: one object behind two faces, one
// reference count, refused addresses, the error record and error object, and
// every allocation failure turned into a clean failure status.
#include "test_support.h"

#include "frame/error_record.h"

#include <cstring>
#include <functional>
#include <iostream>

using namespace testing_support;

namespace {

bool mentions(std::u16string_view text, const char* name)
{
    return text.find(std::u16string(name, name + std::strlen(name))) != std::u16string_view::npos;
}

class ServerFrame : public LeakCheckedTest {};

TEST_F(ServerFrame, QueryInterfaceAnswersForBothFacesOfOneObject)
{
    auto server = new_server();
    rt::ComPtr<IUnknown> identity;
    ASSERT_EQ(server->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
    rt::ComPtr<IDispatch> default_face;
    ASSERT_EQ(server->QueryInterface(IID_IDispatch, default_face.put_void()), S_OK);
    rt::ComPtr<ISupportErrorInfo> error_info;
    ASSERT_EQ(server->QueryInterface(IID_ISupportErrorInfo, error_info.put_void()), S_OK);
    ASSERT_NE(static_cast<void*>(server.get()), static_cast<void*>(identity.get()));
    ASSERT_NE(static_cast<void*>(error_info.get()), static_cast<void*>(identity.get()));
    ASSERT_NE(static_cast<void*>(error_info.get()), static_cast<void*>(server.get()));
    const ULONG refs = refcount(server.get());

    enum Face { kNone, kDefault, kServer, kErrorInfo };
    struct Case {
        const char* name;
        const IID& iid;
        HRESULT status;
        Face face;
    };
    const Case cases[] = {
        {"IUnknown", IID_IUnknown, S_OK, kDefault},
        {"IDispatch", IID_IDispatch, S_OK, kDefault},
        {"_CTivOrvantaZNA100", IID__CTivOrvantaZNA100, S_OK, kDefault},
        {"IServer", IID_IServer, S_OK, kServer},
        {"ISupportErrorInfo", IID_ISupportErrorInfo, S_OK, kErrorInfo},
        {"IClassFactory", IID_IClassFactory, E_NOINTERFACE, kNone},
        {"_Collection", IID__Collection, E_NOINTERFACE, kNone},
        {"IEnumVARIANT", IID_IEnumVARIANT, E_NOINTERFACE, kNone},
        {"IErrorInfo", IID_IErrorInfo, E_NOINTERFACE, kNone},
        {"class id", CLSID_CTivOrvantaZNA100, E_NOINTERFACE, kNone},
        {"library id", LIBID_TivOrvantaZNA100, E_NOINTERFACE, kNone},
        {"IID_NULL", IID_NULL, E_NOINTERFACE, kNone},
    };
    IUnknown* const faces[] = {server.get(), default_face.get(), identity.get(), error_info.get()};
    auto face_of = [&](Face face) -> void* {
        if (face == kServer) return server.get();
        if (face == kErrorInfo) return error_info.get();
        return identity.get();
    };

    for (IUnknown* from : faces) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            void* out = &out;  // a stale value that must be overwritten
            ASSERT_EQ(from->QueryInterface(c.iid, &out), c.status);
            if (c.face == kNone) {
                EXPECT_EQ(out, nullptr);
                EXPECT_EQ(refcount(server.get()), refs);
                continue;
            }
            EXPECT_EQ(out, face_of(c.face));
            // One count behind every face.
            EXPECT_EQ(refcount(server.get()), refs + 1);
            EXPECT_EQ(refcount(default_face.get()), refs + 1);
            EXPECT_EQ(refcount(error_info.get()), refs + 1);
            EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), refs);
        }
        EXPECT_EQ(from->QueryInterface(IID_IServer, nullptr), E_POINTER);
        EXPECT_EQ(refcount(server.get()), refs);
    }
}

// The class promises an error object for failures of its two faces only.
TEST_F(ServerFrame, ISupportErrorInfoVouchesForBothFacesAndNothingElse)
{
    auto server = new_server();
    rt::ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(server->QueryInterface(IID_ISupportErrorInfo, support.put_void()), S_OK);
    const ULONG refs = refcount(server.get());
    struct Case {
        const char* name;
        const IID& iid;
        HRESULT answer;
    };
    const Case cases[] = {
        {"IServer", IID_IServer, S_OK},
        {"_CTivOrvantaZNA100", IID__CTivOrvantaZNA100, S_OK},
        {"IUnknown", IID_IUnknown, S_FALSE},
        {"IDispatch", IID_IDispatch, S_FALSE},
        {"ISupportErrorInfo", IID_ISupportErrorInfo, S_FALSE},
        {"_Collection", IID__Collection, S_FALSE},
        {"IEnumVARIANT", IID_IEnumVARIANT, S_FALSE},
        {"IErrorInfo", IID_IErrorInfo, S_FALSE},
        {"class id", CLSID_CTivOrvantaZNA100, S_FALSE},
        {"IID_NULL", IID_NULL, S_FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(c.iid), c.answer);
        EXPECT_EQ(refcount(server.get()), refs);
    }
}

// What a generated wrapper does after a failed call: ask ISupportErrorInfo
// about the interface it called, then take the error object.
TEST_F(ServerFrame, AClientThatAsksFirstReceivesTheErrorObject)
{
    auto server = new_server();
    rt::BStr guid = bstr(u"{E2657B80-7F5B-11d2-BF88-00C04F79999C}");
    BSTR component = guid.get();
    LONG maximum = 0;
    ASSERT_EQ(server->GetMaximumLimit(&component, nullptr, &maximum), E_POINTER);
    rt::ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(server->QueryInterface(IID_ISupportErrorInfo, support.put_void()), S_OK);
    ASSERT_EQ(support->InterfaceSupportsErrorInfo(IID_IServer), S_OK);
    const ErrorObjectReport object = take_error_object();
    ASSERT_TRUE(object.present);
    EXPECT_TRUE(object.guid == IID_IServer);
    EXPECT_EQ(object.description,
              u"IServer.GetMaximumLimit (vtable index 14) failed with status 0x80004003");
}

TEST_F(ServerFrame, ReleasingTheLastReferenceThroughEitherFaceDestroysTheInstance)
{
    for (bool through_default_face : {false, true}) {
        const long objects = rt::live_objects();
        IServer* server = nullptr;
        ASSERT_EQ(
            orvanta::CTivOrvantaZNA100::create(IID_IServer, reinterpret_cast<void**>(&server)),
            S_OK);
        EXPECT_EQ(rt::live_objects(), objects + 1);
        EXPECT_EQ(refcount(server), 1u);
        IDispatch* other = nullptr;
        ASSERT_EQ(server->QueryInterface(IID__CTivOrvantaZNA100, reinterpret_cast<void**>(&other)),
                  S_OK);
        EXPECT_EQ(refcount(server), 2u);
        IUnknown* first = through_default_face ? static_cast<IUnknown*>(server) : other;
        IUnknown* last = through_default_face ? static_cast<IUnknown*>(other) : server;
        EXPECT_EQ(first->Release(), 1u);
        EXPECT_EQ(rt::live_objects(), objects + 1);
        EXPECT_EQ(last->Release(), 0u);
        EXPECT_EQ(rt::live_objects(), objects);
    }
}

// What a caller's variables hold before a call; whatever the call must not
// write is compared against this afterwards.
struct Variables {
    BSTR parent;
    BSTR attachment;
    BSTR component;
    VARIANT_BOOL family_total = 0x5A5A;
    LONG number = 4321;
    BSTR text;
    _Collection* list;
};

struct Operation {
    const char* name;
    int vtable_index;
};

void expect_error_reported(HRESULT status, const Operation& op)
{
    const orvanta::ErrorRecord& record = orvanta::error_record();
    EXPECT_EQ(record.number, status);
    EXPECT_TRUE(record.iid == IID_IServer);
    EXPECT_EQ(record.vtable_index, op.vtable_index);
    EXPECT_TRUE(mentions(record.description, op.name)) << printable(record.description);

    const ErrorObjectReport object = take_error_object();
    ASSERT_TRUE(object.present) << "no error object for the caller";
    EXPECT_TRUE(object.guid == IID_IServer);
    EXPECT_TRUE(mentions(object.description, op.name)) << printable(object.description);
}

// A refused call writes nothing but its result, which a valid result address
// receives as null (or 0): a caller never keeps a stale pointer from it.
TEST_F(ServerFrame, NullAddressesAreRefusedWithOnlyAnEmptyResultWritten)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());
    rt::BStr parent = bstr(u"{E2657B80-7F5B-11d2-BF88-00C04F79999C}");
    rt::BStr attachment = bstr(u"{E2657B7F-7F5B-11d2-BF88-00C04F79999C}");
    rt::BStr stale_text = bstr(u"stale");
    rt::ComPtr<_Collection> stale_owner;
    ASSERT_EQ(rt::create_collection(stale_owner.put()), S_OK);
    _Collection* const stale_list = stale_owner.get();

    enum Written { kNothing, kText, kList, kNumber };
    struct Case {
        Operation op;
        std::function<HRESULT(IServer*, Variables&)> call;
        Written written = kNothing;
    };
    const Case cases[] = {
        {{"Name", 7}, [](IServer* s, Variables&) { return s->get_Name(nullptr); }},
        {{"ReleaseNumber", 8},
         [](IServer* s, Variables&) { return s->get_ReleaseNumber(nullptr); }},
        {{"Description", 9}, [](IServer* s, Variables&) { return s->get_Description(nullptr); }},
        {{"ServerGUID", 10}, [](IServer* s, Variables&) { return s->get_ServerGUID(nullptr); }},
        {{"DefaultComponents", 11},
         [](IServer* s, Variables&) { return s->DefaultComponents(nullptr); }},
        {{"IsAttachable", 12},
         [](IServer* s, Variables& v) {
             return s->IsAttachable(nullptr, &v.attachment, &v.number);
         },
         kNumber},
        {{"IsAttachable", 12},
         [](IServer* s, Variables& v) { return s->IsAttachable(&v.parent, nullptr, &v.number); },
         kNumber},
        {{"IsAttachable", 12},
         [](IServer* s, Variables& v) {
             return s->IsAttachable(&v.parent, &v.attachment, nullptr);
         }},
        {{"GetAttachableGUIDs", 13},
         [](IServer* s, Variables& v) { return s->GetAttachableGUIDs(nullptr, &v.list); },
         kList},
        {{"GetAttachableGUIDs", 13},
         [](IServer* s, Variables& v) { return s->GetAttachableGUIDs(&v.parent, nullptr); }},
        {{"GetMaximumLimit", 14},
         [](IServer* s, Variables& v) {
             return s->GetMaximumLimit(nullptr, &v.family_total, &v.number);
         },
         kNumber},
        {{"GetMaximumLimit", 14},
         [](IServer* s, Variables& v) {
             return s->GetMaximumLimit(&v.component, nullptr, &v.number);
         },
         kNumber},
        {{"GetMaximumLimit", 14},
         [](IServer* s, Variables& v) {
             return s->GetMaximumLimit(&v.component, &v.family_total, nullptr);
         }},
        {{"ServerCategory", 15}, [](IServer* s, Variables&) { return s->ServerCategory(nullptr); }},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.op.name);
        const Variables before{parent.get(), attachment.get(), parent.get(), 0x5A5A,
                               4321,         stale_text.get(), stale_list};
        Variables v = before;
        const long strings = rt::live_strings();
        const long objects = rt::live_objects();
        EXPECT_EQ(c.call(server.get(), v), E_POINTER);
        EXPECT_EQ(v.parent, before.parent);
        EXPECT_EQ(v.attachment, before.attachment);
        EXPECT_EQ(v.component, before.component);
        EXPECT_EQ(v.family_total, before.family_total);
        EXPECT_EQ(v.number, c.written == kNumber ? 0 : before.number);
        EXPECT_EQ(v.list, c.written == kList ? nullptr : before.list);
        EXPECT_EQ(v.text, before.text);
        EXPECT_EQ(refcount(server.get()), refs);
        EXPECT_EQ(rt::live_strings(), strings);
        EXPECT_EQ(rt::live_objects(), objects);
        expect_error_reported(E_POINTER, c.op);
    }
    EXPECT_EQ(refcount(stale_list), 1u);
}

// Every operation, with each of its allocations refused in turn until it
// succeeds: the failure status, an empty result, FamilyTotal as the caller
// left it, nothing leaked, the reference count as before, and an error report
// that names the failing operation (or the collection call inside it).
TEST_F(ServerFrame, EveryAllocationFailureGivesACleanFailure)
{
    rt::BStr guid = bstr(u"{E2657B80-7F5B-11d2-BF88-00C04F79999C}");
    rt::BStr stale_text = bstr(u"stale");
    rt::ComPtr<_Collection> stale_owner;
    ASSERT_EQ(rt::create_collection(stale_owner.put()), S_OK);
    _Collection* const stale_list = stale_owner.get();

    using Call = std::function<HRESULT(IServer*, Variables&)>;
    auto text_call = [](HRESULT (STDMETHODCALLTYPE IServer::*member)(BSTR*)) -> Call {
        return [member](IServer* s, Variables& v) { return (s->*member)(&v.text); };
    };
    enum Result { kText, kList, kLong };
    struct Case {
        Operation op;
        Result result;
        Call call;
    };
    const Case cases[] = {
        {{"Name", 7}, kText, text_call(&IServer::get_Name)},
        {{"ReleaseNumber", 8}, kText, text_call(&IServer::get_ReleaseNumber)},
        {{"Description", 9}, kText, text_call(&IServer::get_Description)},
        {{"ServerGUID", 10}, kText, text_call(&IServer::get_ServerGUID)},
        {{"DefaultComponents", 11},
         kList,
         [](IServer* s, Variables& v) { return s->DefaultComponents(&v.list); }},
        {{"IsAttachable", 12},
         kLong,
         [](IServer* s, Variables& v) {
             return s->IsAttachable(&v.parent, &v.component, &v.number);
         }},
        {{"GetAttachableGUIDs", 13},
         kList,
         [](IServer* s, Variables& v) { return s->GetAttachableGUIDs(&v.parent, &v.list); }},
        {{"GetMaximumLimit", 14},
         kLong,
         [](IServer* s, Variables& v) {
             return s->GetMaximumLimit(&v.component, &v.family_total, &v.number);
         }},
        {{"ServerCategory", 15}, kText, text_call(&IServer::ServerCategory)},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.op.name);
        auto server = new_server();
        const ULONG refs = refcount(server.get());
        const long strings = rt::live_strings();
        const long objects = rt::live_objects();
        long points = 0;
        long collection_points = 0;

        for (long n = 1;; ++n) {
            ASSERT_LT(n, 100000) << "the operation never succeeds";
            SCOPED_TRACE("allocation " + std::to_string(n) + " refused");
            Variables v{guid.get(), guid.get(),       guid.get(), 0x5A5A,
                        4321,       stale_text.get(), stale_list};
            orvanta::clear_error_record();
            rt::fail_allocation_after(n);
            const HRESULT hr = c.call(server.get(), v);
            const long seen = rt::allocations_seen();
            rt::fail_allocation_after(0);
            EXPECT_EQ(refcount(server.get()), refs);

            // Only the result variable may change; a stale one is overwritten.
            EXPECT_EQ(v.text == stale_text.get(), c.result != kText);
            EXPECT_EQ(v.list == stale_list, c.result != kList);
            if (c.result != kLong) {
                EXPECT_EQ(v.number, 4321);
            }

            if (SUCCEEDED(hr)) {
                EXPECT_LT(seen, n) << "a refused allocation ended in success";
                if (c.result == kText) SysFreeString(v.text);
                if (c.result == kList && v.list) {
                    EXPECT_EQ(v.list->Release(), 0u);
                }
                break;
            }
            ++points;
            EXPECT_EQ(hr, E_OUTOFMEMORY);
            // The result is empty: null for a String or Collection, 0 for a Long.
            switch (c.result) {
            case kText: EXPECT_EQ(v.text, nullptr); break;
            case kList: EXPECT_EQ(v.list, nullptr); break;
            case kLong: EXPECT_EQ(v.number, 0); break;
            }
            EXPECT_EQ(v.family_total, 0x5A5A) << "FamilyTotal written on failure";
            EXPECT_EQ(v.component, guid.get());
            EXPECT_EQ(rt::live_strings(), strings);
            EXPECT_EQ(rt::live_objects(), objects);

            const orvanta::ErrorRecord& record = orvanta::error_record();
            EXPECT_EQ(record.number, E_OUTOFMEMORY);
            if (record.iid == IID__Collection) {
                // A collection call failed inside the operation.
                ++collection_points;
                EXPECT_STREQ(c.op.name, "DefaultComponents");
                EXPECT_EQ(record.vtable_index, rt::kVtableAdd);
                EXPECT_TRUE(mentions(record.description, "Add")) << printable(record.description);
                const ErrorObjectReport object = take_error_object();
                ASSERT_TRUE(object.present);
                EXPECT_TRUE(object.guid == IID__Collection);
                EXPECT_TRUE(mentions(object.description, "Add"));
            } else {
                expect_error_reported(E_OUTOFMEMORY, c.op);
            }
            if (HasFailure()) return;
        }
        // Operations that take a String or Collection result had their
        // stale value overwritten on every run, and never freed.
        EXPECT_EQ(refcount(server.get()), refs);
        EXPECT_EQ(rt::live_strings(), strings);
        EXPECT_EQ(rt::live_objects(), objects);
        RecordProperty(std::string(c.op.name) + "_failure_points", static_cast<int>(points));
        std::cout << "[ oom     ] " << c.op.name << ": " << points << " failure points ("
                  << collection_points << " inside the collection)\n";
    }
    EXPECT_EQ(refcount(stale_list), 1u);
    EXPECT_EQ(text_of(stale_text.get()), u"stale");
}

}  // namespace
