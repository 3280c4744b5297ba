// Attachment rules: this server kind has no attachment lists, so
// GetAttachableGUIDs answers null and IsAttachable answers 2 for everything;
// the decision procedure of IsAttachable is driven here through a subclass
// that supplies attachment lists of its own.
#include "test_support.h"

#include "frame/error_record.h"
#include "runtime/variant.h"

#include <cstring>
#include <functional>

using namespace testing_support;
using namespace std::literals;

namespace {

constexpr std::u16string_view kParent = expected::kCatalogue[0];
constexpr std::u16string_view kAttachment = expected::kCatalogue[1];
constexpr std::u16string_view kOther = expected::kCatalogue[2];

class Attachments : public LeakCheckedTest {};

TEST_F(Attachments, NoParentHasAnAttachmentList)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());
    const std::u16string_view parents[] = {kParent, u""sv, u"not a GUID"sv, u"{E2657B80\0"sv,
                                           kOther};

    for (bool null_parent : {true, false}) {
        for (std::u16string_view text : parents) {
            SCOPED_TRACE(null_parent ? "null" : printable(text));
            rt::BStr owned = null_parent ? rt::BStr() : bstr(text);
            BSTR parent = owned.get();

            // A stale result is overwritten with null, not released.
            _Collection* stale = nullptr;
            ASSERT_EQ(rt::create_collection(&stale), S_OK);
            _Collection* result = stale;
            EXPECT_EQ(server->GetAttachableGUIDs(&parent, &result), S_OK);
            EXPECT_EQ(result, nullptr);
            EXPECT_EQ(stale->Release(), 0u) << "the stale collection lost a reference";
            EXPECT_EQ(parent, owned.get());
            EXPECT_EQ(text_of(parent), null_parent ? u"" : text);
            EXPECT_EQ(refcount(server.get()), refs);
            if (null_parent) break;
        }
    }
}

TEST_F(Attachments, EveryPairAnswersNoList)
{
    auto server = new_server();
    const ULONG refs = refcount(server.get());
    struct Pair {
        std::u16string_view parent, attachment;
        bool null_strings;
    };
    const Pair pairs[] = {
        {kParent, kAttachment, false},
        {kParent, kParent, false},
        {u"", u"", false},
        {u"", u"", true},
        {u"x", kAttachment, false},
        {kAttachment, u"1", false},
    };
    for (const Pair& p : pairs) {
        SCOPED_TRACE(printable(p.parent) + " / " + printable(p.attachment));
        rt::BStr parent_owned = p.null_strings ? rt::BStr() : bstr(p.parent);
        rt::BStr attachment_owned = p.null_strings ? rt::BStr() : bstr(p.attachment);
        BSTR parent = parent_owned.get();
        BSTR attachment = attachment_owned.get();
        LONG result = 77;
        EXPECT_EQ(server->IsAttachable(&parent, &attachment, &result), S_OK);
        EXPECT_EQ(result, expected::kAttachNoList);
        EXPECT_EQ(parent, parent_owned.get());
        EXPECT_EQ(attachment, attachment_owned.get());
        EXPECT_EQ(text_of(parent), p.null_strings ? u"" : p.parent);
        EXPECT_EQ(text_of(attachment), p.null_strings ? u"" : p.attachment);
        EXPECT_EQ(refcount(server.get()), refs);
    }
}

// ---- the decision procedure, with attachment lists supplied by a subclass ----

using ListFiller = std::function<void(_Collection*)>;

struct Scenario {
    HRESULT status = S_OK;            // what GetAttachableGUIDs returns
    bool give_list = false;           // whether it hands out a list
    ListFiller fill;                  // the list's elements
    bool dirty_error_record = false;  // leave an unrelated error in the record first
};

class ServerWithLists : public orvanta::CTivOrvantaZNA100 {
public:
    Scenario scenario;
    int calls = 0;
    BSTR* parent_seen = nullptr;
    ULONG refs_during_call = 0;

protected:
    HRESULT IServer_GetAttachableGUIDs(BSTR* ParentGUID, _Collection** result) override
    {
        ++calls;
        parent_seen = ParentGUID;
        refs_during_call = refcount(static_cast<IServer*>(this));
        if (scenario.dirty_error_record) {
            // Any earlier failure, here one of our own, must not count as a
            // failed lookup.
            EXPECT_EQ(IServer_Name(nullptr), E_POINTER);
            EXPECT_NE(orvanta::error_record().number, 0);
        }
        *result = nullptr;
        if (scenario.give_list) {
            EXPECT_EQ(rt::create_collection(result), S_OK);
            if (*result && scenario.fill) scenario.fill(*result);
        }
        return scenario.status;
    }
};

void add(_Collection* list, VARIANT item, std::u16string_view key)
{
    rt::BStr k = bstr(key);
    VARIANT key_value = string_value(k.get());
    VARIANT missing = rt::missing_argument();
    EXPECT_EQ(list->Add(&item, &key_value, &missing, &missing), S_OK);
}

ListFiller holding(std::u16string_view guid)
{
    return [guid](_Collection* list) {
        rt::BStr value = bstr(guid);
        add(list, string_value(value.get()), guid);
    };
}

ListFiller holding_value_under(std::u16string_view key, std::function<void(VARIANT*)> make_value)
{
    return [key, make_value](_Collection* list) {
        rt::Variant value;
        make_value(value.get());
        add(list, *value.get(), key);
    };
}

TEST_F(Attachments, IsAttachableFollowsWhateverListItIsGiven)
{
    const ListFiller empty_text = holding_value_under(kAttachment, [](VARIANT* v) {
        v->vt = VT_BSTR;
        v->bstrVal = SysAllocString(u"");
    });
    const ListFiller error_value = holding_value_under(kAttachment, [](VARIANT* v) {
        v->vt = VT_ERROR;
        v->scode = E_FAIL;
    });
    const ListFiller null_value =
        holding_value_under(kAttachment, [](VARIANT* v) { v->vt = VT_NULL; });
    const ListFiller object_value = holding_value_under(kAttachment, [](VARIANT* v) {
        _Collection* inner = nullptr;
        EXPECT_EQ(rt::create_collection(&inner), S_OK);
        v->vt = VT_DISPATCH;
        v->pdispVal = inner;
    });
    const ListFiller number_value = holding_value_under(kAttachment, [](VARIANT* v) {
        v->vt = VT_I4;
        v->lVal = 5;
    });
    const ListFiller keyed_x = [](_Collection* list) {
        rt::BStr value = bstr(u"X");
        add(list, string_value(value.get()), u"X");
    };

    // What the error record holds afterwards: an absorbed failure's number
    // stays there; a lookup that went through leaves it clear.
    struct Record {
        HRESULT number;
        const IID* iid;  // checked when not null
        const char* names;
    };
    constexpr HRESULT kUnchecked = 1;
    struct Case {
        const char* what;
        Scenario scenario;
        std::u16string_view attachment;
        bool null_attachment;
        LONG expected;
        Record record = {kUnchecked, nullptr, nullptr};
    };
    const Case cases[] = {
        {"obtaining the list fails",
         {E_FAIL, false, {}},
         kAttachment,
         false,
         2,
         {E_FAIL, &IID__CTivOrvantaZNA100, "GetAttachableGUIDs"}},
        {"obtaining the list fails after publishing an error",
         {E_FAIL, false, {}, true},
         kAttachment,
         false,
         2,
         {E_FAIL, &IID__CTivOrvantaZNA100, "GetAttachableGUIDs"}},
        {"fails, yet hands a list", {E_FAIL, true, holding(kAttachment)}, kAttachment, false, 2},
        {"no list", {S_OK, false, {}}, kAttachment, false, 2},
        {"no list, positive status", {S_FALSE, false, {}}, kAttachment, false, 2},
        {"listed",
         {S_OK, true, holding(kAttachment)},
         kAttachment,
         false,
         0,
         {S_OK, nullptr, nullptr}},
        {"listed, positive status", {S_FALSE, true, holding(kAttachment)}, kAttachment, false, 0},
        {"listed after an unrelated error",
         {S_OK, true, holding(kAttachment), true},
         kAttachment,
         false,
         0,
         {S_OK, nullptr, nullptr}},
        {"listed with a number", {S_OK, true, number_value}, kAttachment, false, 0},
        {"listed with empty text", {S_OK, true, empty_text}, kAttachment, false, 1},
        {"listed with an error value", {S_OK, true, error_value}, kAttachment, false, 1},
        {"listed with Null", {S_OK, true, null_value}, kAttachment, false, 1},
        {"listed with an object", {S_OK, true, object_value}, kAttachment, false, 1},
        {"not listed",
         {S_OK, true, holding(kAttachment)},
         kOther,
         false,
         1,
         {rt::kCollInvalidArgument, &IID__Collection, "Item"}},
        {"empty list", {S_OK, true, {}}, kAttachment, false, 1},
        {"a number is a key, not a position", {S_OK, true, keyed_x}, u"1", false, 1},
        {"null attachment", {S_OK, true, holding(kAttachment)}, u"", true, 1},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rt::ComPtr<IServer> server;
        ASSERT_EQ(
            orvanta::CTivOrvantaZNA100::create<ServerWithLists>(IID_IServer, server.put_void()),
            S_OK);
        auto* instance = static_cast<ServerWithLists*>(static_cast<orvanta::CTivOrvantaZNA100*>(
            static_cast<orvanta::ServerFace*>(server.get())));
        instance->scenario = c.scenario;
        const ULONG refs = refcount(server.get());

        LeakGuard leaks;
        rt::BStr parent_owned = bstr(kParent);
        rt::BStr attachment_owned = c.null_attachment ? rt::BStr() : bstr(c.attachment);
        BSTR parent = parent_owned.get();
        BSTR attachment = attachment_owned.get();
        LONG result = 77;
        EXPECT_EQ(server->IsAttachable(&parent, &attachment, &result), S_OK);
        EXPECT_EQ(result, c.expected);

        EXPECT_EQ(instance->calls, 1);
        EXPECT_EQ(instance->parent_seen, &parent) << "the caller's ParentGUID was not passed on";
        EXPECT_EQ(instance->refs_during_call, refs + 1) << "no reference held during the call";
        EXPECT_EQ(parent, parent_owned.get());
        EXPECT_EQ(attachment, attachment_owned.get());
        EXPECT_EQ(refcount(server.get()), refs);
        EXPECT_FALSE(take_error_object().present) << "a stale error object after success";
        const orvanta::ErrorRecord& record = orvanta::error_record();
        if (c.record.number != kUnchecked) {
            EXPECT_EQ(record.number, c.record.number);
        }
        if (c.record.iid) {
            EXPECT_TRUE(record.iid == *c.record.iid);
            const std::u16string description(record.description);
            EXPECT_NE(description.find(std::u16string(
                          c.record.names, c.record.names + std::strlen(c.record.names))),
                      std::u16string::npos)
                << printable(description);
        }
        parent_owned.reset();
        attachment_owned.reset();
        leaks.check();  // the list and the looked-up text are gone
        SetErrorInfo(0, nullptr);
    }
}

}  // namespace
