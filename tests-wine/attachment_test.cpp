// The attachment rules through IServer's vtable: no parent has an
// attachment list, so GetAttachableGUIDs answers the null reference and
// IsAttachable answers 2 for every pair, always with a success status.
#include "wine_support.h"

using namespace wt;

namespace {

// Parents and attachments: catalogue entries, other text, empty and null.
std::vector<std::wstring> sample_texts()
{
    return {
        expected::kCatalogue[0],
        expected::kCatalogue[1],
        expected::kCatalogue[95],
        L"{e2657b80-7f5b-11d2-bf88-00c04f79999c}",
        expected::kServerGuid,
        L"not a GUID",
        L"1",
        L"",
    };
}

class Attachment : public ModuleTest {};

TEST_F(Attachment, NoParentHasAnAttachmentList)
{
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    std::vector<std::wstring> parents = sample_texts();
    for (const std::wstring& text : parents) {
        SCOPED_TRACE(narrow(text));
        Bstr parent(text);
        BSTR argument = parent.get();
        _Collection* list = reinterpret_cast<_Collection*>(0x1);
        EXPECT_EQ(server->GetAttachableGUIDs(&argument, &list), S_OK);
        EXPECT_EQ(list, nullptr);
        EXPECT_EQ(argument, parent.get());
        EXPECT_EQ(text_of(parent.get()), text);
        EXPECT_EQ(refcount(server.get()), 1u);
    }
    // The null string.
    BSTR null_parent = nullptr;
    _Collection* list = reinterpret_cast<_Collection*>(0x1);
    EXPECT_EQ(server->GetAttachableGUIDs(&null_parent, &list), S_OK);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(null_parent, nullptr);
}

TEST_F(Attachment, AStaleResultVariableIsOverwrittenNotReleased)
{
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    Ref<_Collection> stale;
    ASSERT_EQ(server->DefaultComponents(stale.put()), S_OK);
    ASSERT_TRUE(stale);
    Bstr parent(expected::kCatalogue[0]);
    _Collection* result = stale.get();
    EXPECT_EQ(server->GetAttachableGUIDs(parent.address(), &result), S_OK);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(refcount(stale.get()), 1u) << "the stale reference was released by the call";
}

TEST_F(Attachment, IsAttachableAnswersNoListForEveryPair)
{
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    const std::vector<std::wstring> texts = sample_texts();
    for (const std::wstring& p : texts) {
        for (const std::wstring& a : texts) {
            SCOPED_TRACE(narrow(p) + " / " + narrow(a));
            Bstr parent(p);
            Bstr attachment(a);
            BSTR parent_argument = parent.get();
            BSTR attachment_argument = attachment.get();
            for (LONG start : {0L, 1L, -1L}) {
                LONG result = start;
                EXPECT_EQ(server->IsAttachable(&parent_argument, &attachment_argument, &result), S_OK);
                EXPECT_EQ(result, expected::kAttachNoList);
            }
            EXPECT_EQ(parent_argument, parent.get());
            EXPECT_EQ(attachment_argument, attachment.get());
            EXPECT_EQ(text_of(parent.get()), p);
            EXPECT_EQ(text_of(attachment.get()), a);
        }
    }
    EXPECT_EQ(refcount(server.get()), 1u);
}

TEST_F(Attachment, IsAttachableWithNullStrings)
{
    Ref<IServer> server = create_server();
    ASSERT_TRUE(server);
    Bstr some(expected::kCatalogue[0]);
    BSTR null_text = nullptr;
    BSTR some_text = some.get();
    const std::pair<BSTR*, BSTR*> pairs[] = {
        {&null_text, &null_text}, {&null_text, &some_text}, {&some_text, &null_text}};
    for (const auto& pair : pairs) {
        LONG result = 0;
        EXPECT_EQ(server->IsAttachable(pair.first, pair.second, &result), S_OK);
        EXPECT_EQ(result, expected::kAttachNoList);
    }
    EXPECT_EQ(null_text, nullptr);
    EXPECT_EQ(some_text, some.get());
    EXPECT_EQ(refcount(server.get()), 1u);
}

}  // namespace
