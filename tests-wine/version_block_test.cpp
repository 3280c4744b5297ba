// The module's version block, read as installers read it.
#include "tests/common/expected_identity.h"
#include "wine_support.h"

#include <winver.h>

using namespace wt;

namespace {

class VersionBlock : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::wstring path = module_path();
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
        ASSERT_NE(size, 0u) << "no version block in " << printable(path);
        block_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block_.data()));
    }

    // A value of the block; nullptr when absent.
    const void* query(const wchar_t* sub_block, UINT* length)
    {
        void* value = nullptr;
        *length = 0;
        std::wstring copy(sub_block);
        if (!VerQueryValueW(block_.data(), copy.c_str(), &value, length)) return nullptr;
        return value;
    }

    // A string of the table 040904B0, or nullopt-like flag when absent.
    bool string_value(const wchar_t* key, std::wstring* text)
    {
        UINT length = 0;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        const void* value = query(path.c_str(), &length);
        if (!value) return false;
        std::wstring s(static_cast<const wchar_t*>(value), length);
        while (!s.empty() && s.back() == L'\0') s.pop_back();
        *text = s;
        return true;
    }

    std::vector<BYTE> block_;
};

TEST_F(VersionBlock, FixedPart)
{
    UINT length = 0;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(L"\\", &length));
    ASSERT_NE(fixed, nullptr);
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, (3u << 16) | 5u);
    EXPECT_EQ(fixed->dwFileVersionLS, (0u << 16) | 115u);
    EXPECT_EQ(fixed->dwProductVersionMS, (3u << 16) | 5u);
    EXPECT_EQ(fixed->dwProductVersionLS, (0u << 16) | 115u);
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);
    EXPECT_EQ(fixed->dwFileOS, 4u);    // 32-bit Windows, also for 64-bit builds
    EXPECT_EQ(fixed->dwFileType, 2u);  // a dynamic-link library
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    EXPECT_EQ(fixed->dwFileDateMS, 0u);
    EXPECT_EQ(fixed->dwFileDateLS, 0u);
}

TEST_F(VersionBlock, OneTranslationEnglishUnicode)
{
    UINT length = 0;
    const auto* pairs = static_cast<const WORD*>(query(L"\\VarFileInfo\\Translation", &length));
    ASSERT_NE(pairs, nullptr);
    ASSERT_EQ(length, 4u) << "exactly one language and code page";
    EXPECT_EQ(pairs[0], 0x0409);
    EXPECT_EQ(pairs[1], 1200);
}

TEST_F(VersionBlock, StringTable)
{
    struct Entry {
        const wchar_t* key;
        const wchar_t* value;
    };
    const Entry entries[] = {
        {L"ProductName", L"" EXPECTED_MODULE},
        {L"FileVersion", L"" EXPECTED_VERSION_TEXT},
        {L"ProductVersion", L"" EXPECTED_VERSION_TEXT},
        {L"InternalName", L"" EXPECTED_MODULE},
        {L"OriginalFilename", L"" EXPECTED_MODULE ".dll"},
        // Present and empty: the module registers itself.
        {L"OLESelfRegister", L""},
    };
    for (const Entry& e : entries) {
        std::wstring text;
        ASSERT_TRUE(string_value(e.key, &text)) << printable(e.key) << " is missing";
        EXPECT_EQ(text, e.value) << printable(e.key) << ": " << printable(text);
    }
    std::wstring company;
    ASSERT_TRUE(string_value(L"CompanyName", &company)) << "CompanyName is missing";
    EXPECT_FALSE(company.empty());
}

}  // namespace
