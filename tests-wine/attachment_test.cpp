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
        as_text(expected::kCatalogue[0]),
        as_text(expected::kCatalogue[1]),
        as_text(expected::kCatalogue[95]),
        L"{e2657b80-7f5b-11d2-bf88-00c04f79999c}",
        as_text(expected::kServerGuid),
        L"not a GUID",
        L"1",
        L"",
    };
}

class Attachment : public ServerTest {};

TEST_F(Attachment, NoParentHasAnAttachmentList)
{
    for (const std::wstring& text : sample_texts()) {
        SCOPED_TRACE(printable(text));
        Bstr parent(text);
        BSTR argument = parent.get();
        _Collection* list = reinterpret_cast<_Collection*>(0x1);
        EXPECT_EQ(server_->GetAttachableGUIDs(&argument, &list), S_OK);
        EXPECT_EQ(list, nullptr);
        EXPECT_EQ(argument, parent.get());
        EXPECT_EQ(text_of(parent.get()), text);
        EXPECT_EQ(refcount(server_.get()), 1u);
    }
    // The null string.
    BSTR null_parent = nullptr;
    _Collection* list = reinterpret_cast<_Collection*>(0x1);
    EXPECT_EQ(server_->GetAttachableGUIDs(&null_parent, &list), S_OK);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(null_parent, nullptr);
}

TEST_F(Attachment, AStaleResultVariableIsOverwrittenNotReleased)
{
    Ref<_Collection> stale;
    ASSERT_EQ(server_->DefaultComponents(stale.put()), S_OK);
    ASSERT_TRUE(stale);
    Bstr parent(expected::kCatalogue[0]);
    _Collection* result = stale.get();
    EXPECT_EQ(server_->GetAttachableGUIDs(parent.address(), &result), S_OK);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(refcount(stale.get()), 1u) << "the stale reference was released by the call";
}

TEST_F(Attachment, IsAttachableAnswersNoListForEveryPair)
{
    const std::vector<std::wstring> texts = sample_texts();
    for (const std::wstring& p : texts) {
        for (const std::wstring& a : texts) {
            SCOPED_TRACE(printable(p) + " / " + printable(a));
            Bstr parent(p);
            Bstr attachment(a);
            BSTR parent_argument = parent.get();
            BSTR attachment_argument = attachment.get();
            for (LONG start : {0L, 1L, -1L}) {
                LONG result = start;
                EXPECT_EQ(server_->IsAttachable(&parent_argument, &attachment_argument, &result),
                          S_OK);
                EXPECT_EQ(result, expected::kAttachNoList);
            }
            EXPECT_EQ(parent_argument, parent.get());
            EXPECT_EQ(attachment_argument, attachment.get());
            EXPECT_EQ(text_of(parent.get()), p);
            EXPECT_EQ(text_of(attachment.get()), a);
        }
    }
}

TEST_F(Attachment, IsAttachableWithNullStrings)
{
    Bstr some(expected::kCatalogue[0]);
    BSTR null_text = nullptr;
    BSTR some_text = some.get();
    const std::pair<BSTR*, BSTR*> pairs[] = {
        {&null_text, &null_text}, {&null_text, &some_text}, {&some_text, &null_text}};
    for (const auto& pair : pairs) {
        LONG result = 0;
        EXPECT_EQ(server_->IsAttachable(pair.first, pair.second, &result), S_OK);
        EXPECT_EQ(result, expected::kAttachNoList);
    }
    EXPECT_EQ(null_text, nullptr);
    EXPECT_EQ(some_text, some.get());
}

}  // namespace
