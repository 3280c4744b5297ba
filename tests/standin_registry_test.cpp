// The stand-in registry and type-library registration behave as the
// platform's do where registration and its tests rely on them.
#include "runtime/standin/registry.h"
#include "runtime/standin/typelib_registry.h"
#include "tests/common/registry_snapshot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using registry_snapshot::Lines;
using registry_snapshot::wide;
using Text = std::u16string;

class StandinRegistry : public ::testing::Test {
protected:
    void SetUp() override { rt::standin::registry_reset(); }
    void TearDown() override
    {
        for (HKEY h : open_) RegCloseKey(h);
        rt::standin::fail_registry_change_after(0, ERROR_SUCCESS);
        rt::standin::registry_reset();
    }

    HKEY create(const char16_t* path, REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr)
    {
        HKEY h = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, access, nullptr, &h,
                                  disposition),
                  ERROR_SUCCESS);
        if (h) open_.push_back(h);
        return h;
    }
    HKEY open(const char16_t* path, REGSAM access, LSTATUS expected = ERROR_SUCCESS)
    {
        HKEY h = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, access, &h), expected);
        if (h) open_.push_back(h);
        return h;
    }
    static LSTATUS set(HKEY h, const char16_t* name, const Text& text)
    {
        return RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * 2));
    }
    static Lines all()
    {
        const char* everything[] = {""};
        return registry_snapshot::classes_trees(everything);
    }

private:
    std::vector<HKEY> open_;
};

TEST_F(StandinRegistry, CreatesEveryMissingKeyOfAPathAndReportsWhetherItWasNew)
{
    DWORD disposition = 0;
    create(u"A\\B\\C", KEY_ALL_ACCESS, &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_EQ(all(), (Lines{"A", "A\\B", "A\\B\\C"}));
    create(u"a\\b\\c", KEY_ALL_ACCESS, &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    create(u"A\\B", KEY_ALL_ACCESS, &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(all(), (Lines{"A", "A\\B", "A\\B\\C"}));
}

TEST_F(StandinRegistry, NamesCompareWithoutCaseAndKeepTheirFirstSpelling)
{
    HKEY h = create(u"Mixed\\Case");
    ASSERT_EQ(set(h, u"ThreadingModel", u"Apartment"), ERROR_SUCCESS);
    ASSERT_EQ(set(h, u"THREADINGMODEL", u"Both"), ERROR_SUCCESS);
    HKEY again = open(u"MIXED\\case", KEY_READ);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(all(), (Lines{"Mixed", "Mixed\\Case", "Mixed\\Case : ThreadingModel = sz:Both"}));
}

TEST_F(StandinRegistry, RejectsEmptyPathComponents)
{
    HKEY h = nullptr;
    for (const char16_t* bad : {u"\\A", u"A\\\\B", u"A\\"}) {
        EXPECT_EQ(
            RegCreateKeyExW(HKEY_CLASSES_ROOT, bad, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr),
            ERROR_BAD_PATHNAME);
        EXPECT_EQ(h, nullptr);
    }
    EXPECT_EQ(all(), Lines{});
}

TEST_F(StandinRegistry, QueryReportsSizesAndRefusesShortBuffers)
{
    HKEY h = create(u"K");
    ASSERT_EQ(set(h, nullptr, u"abc"), ERROR_SUCCESS);
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(h, nullptr, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 8u);
    char16_t small[2];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExW(h, u"", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    char16_t room[8] = {};
    size = sizeof room;
    EXPECT_EQ(RegQueryValueExW(h, u"", nullptr, nullptr, reinterpret_cast<BYTE*>(room), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(Text(room), u"abc");
    EXPECT_EQ(RegQueryValueExW(h, u"Missing", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
}

struct AccessCase {
    const char* name;
    REGSAM access;
    LSTATUS set_status;
    LSTATUS query_status;
    LSTATUS enumerate_status;
    LSTATUS create_status;
};

const AccessCase kAccess[] = {
    {"read", KEY_READ, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_ACCESS_DENIED},
    {"write", KEY_WRITE, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_SUCCESS},
    {"query only", KEY_QUERY_VALUE, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_ACCESS_DENIED,
     ERROR_ACCESS_DENIED},
    {"all", KEY_ALL_ACCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS},
};

TEST_F(StandinRegistry, HandlesAllowWhatTheyWereOpenedFor)
{
    HKEY setup = create(u"K\\Child");
    ASSERT_EQ(set(setup, nullptr, u"v"), ERROR_SUCCESS);
    for (const AccessCase& c : kAccess) {
        SCOPED_TRACE(c.name);
        HKEY h = open(u"K", c.access);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(set(h, u"Value", u"x"), c.set_status);
        DWORD size = 0;
        EXPECT_EQ(
            RegQueryValueExW(h, u"Value", nullptr, nullptr, nullptr, &size) == ERROR_ACCESS_DENIED,
            c.query_status == ERROR_ACCESS_DENIED);
        char16_t name[16];
        DWORD count = 16;
        EXPECT_EQ(RegEnumKeyExW(h, 0, name, &count, nullptr, nullptr, nullptr, nullptr),
                  c.enumerate_status);
        HKEY sub = nullptr;
        EXPECT_EQ(RegCreateKeyExW(h, u"New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr),
                  c.create_status);
        if (sub) RegCloseKey(sub);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, u"K\\New");
    }
}

TEST_F(StandinRegistry, HandleOfADeletedKeyAnswersKeyDeletedEvenWhenTheKeyIsRemade)
{
    HKEY h = create(u"Gone\\Soon");
    ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Gone"), ERROR_SUCCESS);
    EXPECT_EQ(set(h, nullptr, u"x"), ERROR_KEY_DELETED);
    create(u"Gone\\Soon");
    EXPECT_EQ(set(h, nullptr, u"x"), ERROR_KEY_DELETED);
}

TEST_F(StandinRegistry, DeleteKeyRefusesKeysWithSubkeysAndDeleteTreeTakesAll)
{
    create(u"T\\A\\B");
    create(u"T2");
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"T\\A"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"T\\A\\B"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"T\\A\\B"), ERROR_FILE_NOT_FOUND);
    create(u"T\\A\\B\\C");
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"t"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"T"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(all(), Lines{"T2"});
}

TEST_F(StandinRegistry, DeleteTreeWithoutSubkeyEmptiesTheKeyButKeepsIt)
{
    HKEY h = create(u"Keep\\Child");
    ASSERT_EQ(set(h, nullptr, u"x"), ERROR_SUCCESS);
    HKEY keep = create(u"Keep");
    ASSERT_EQ(set(keep, u"Name", u"y"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeW(keep, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(all(), Lines{"Keep"});
}

TEST_F(StandinRegistry, EnumeratesSubkeysAndValuesThenSaysNoMore)
{
    create(u"E\\b");
    create(u"E\\A");
    HKEY e = create(u"E");
    ASSERT_EQ(set(e, u"V", u"1"), ERROR_SUCCESS);
    std::vector<Text> names;
    char16_t name[8];
    for (DWORD i = 0;; ++i) {
        DWORD count = 8;
        const LSTATUS s = RegEnumKeyExW(e, i, name, &count, nullptr, nullptr, nullptr, nullptr);
        if (s == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(s, ERROR_SUCCESS);
        names.emplace_back(name, count);
    }
    EXPECT_EQ(names, (std::vector<Text>{u"A", u"b"}));
    DWORD count = 1;
    EXPECT_EQ(RegEnumKeyExW(e, 0, name, &count, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    count = 8;
    DWORD size = 0;
    EXPECT_EQ(RegEnumValueW(e, 0, name, &count, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(Text(name, count), u"V");
    EXPECT_EQ(size, 4u);
    count = 8;
    EXPECT_EQ(RegEnumValueW(e, 1, name, &count, nullptr, nullptr, nullptr, &size),
              ERROR_NO_MORE_ITEMS);
}

TEST_F(StandinRegistry, InjectedFailureHitsTheNthChangeOnly)
{
    rt::standin::fail_registry_change_after(2, ERROR_ACCESS_DENIED);
    HKEY h = create(u"F");                                  // change 1
    EXPECT_EQ(set(h, nullptr, u"x"), ERROR_ACCESS_DENIED);  // change 2 fails
    EXPECT_EQ(set(h, nullptr, u"y"), ERROR_SUCCESS);        // change 3
    HKEY again = open(u"F", KEY_READ);                      // not a change
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(rt::standin::registry_changes_seen(), 3);
    EXPECT_EQ(all(), (Lines{"F", "F : @ = sz:y"}));
}

TEST(StandinGuidText, IsTheRegistryFormInUpperCase)
{
    const GUID g = {0x0190584F, 0x0F1B, 0x4C7F, {0x87, 0xAD, 0x8B, 0xD5, 0x1D, 0x2E, 0x8B, 0x4E}};
    char16_t text[39];
    EXPECT_EQ(StringFromGUID2(g, text, 39), 39);
    EXPECT_EQ(Text(text), u"{0190584F-0F1B-4C7F-87AD-8BD51D2E8B4E}");
    EXPECT_EQ(StringFromGUID2(g, text, 38), 0);
}

// ---- type-library registration ----

const GUID kLib = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
const RegisteredInterface kItf[] = {
    {{0xAAAAAAAA, 0xBBBB, 0xCCCC, {0xDD, 0xDD, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}}, u"IOne"},
};

TypeLibEntries library(WORD major, WORD minor, LCID lcid, SYSKIND kind, WORD flags)
{
    return {{kLib, lcid, kind, major, minor, flags}, u"Lib", kItf, 1};
}

TEST_F(StandinRegistry, TypeLibraryKeysUseHexadecimalVersionsAndLocales)
{
    const TypeLibEntries lib = library(34, 2, 0x409, SYS_WIN32, 6);
    ASSERT_EQ(RegisterTypeLibEntries(&lib, u"C:\\Dir\\lib.tlb", u"C:\\Help"), S_OK);
    const std::string key = "TypeLib\\{11111111-2222-3333-4444-555555555555}";
    const std::string itf = "Interface\\{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";
    EXPECT_EQ(all(), (Lines{
                         "Interface",
                         itf,
                         itf + " : @ = sz:IOne",
                         itf + "\\ProxyStubClsid",
                         itf + "\\ProxyStubClsid : @ = sz:{00020424-0000-0000-C000-000000000046}",
                         itf + "\\ProxyStubClsid32",
                         itf + "\\ProxyStubClsid32 : @ = sz:{00020424-0000-0000-C000-000000000046}",
                         itf + "\\TypeLib",
                         itf + "\\TypeLib : @ = sz:{11111111-2222-3333-4444-555555555555}",
                         itf + "\\TypeLib : Version = sz:22.2",
                         "TypeLib",
                         key,
                         key + "\\22.2",
                         key + "\\22.2 : @ = sz:Lib",
                         key + "\\22.2\\409",
                         key + "\\22.2\\409\\win32",
                         key + "\\22.2\\409\\win32 : @ = sz:C:\\Dir\\lib.tlb",
                         key + "\\22.2\\FLAGS",
                         key + "\\22.2\\FLAGS : @ = sz:6",
                         key + "\\22.2\\HELPDIR",
                         key + "\\22.2\\HELPDIR : @ = sz:C:\\Help",
                     }));
    EXPECT_EQ(UnRegisterTypeLib(kLib, 34, 2, 0x409, SYS_WIN32), S_OK);
    EXPECT_EQ(all(), (Lines{"Interface", "TypeLib"}));
}

TEST_F(StandinRegistry, WithoutAHelpDirectoryANewHelpdirGetsTheLibraryFolderAndAnOldOneStays)
{
    const TypeLibEntries lib = library(1, 0, 0, SYS_WIN64, 0);
    const std::string helpdir = "TypeLib\\{11111111-2222-3333-4444-555555555555}\\1.0\\HELPDIR";
    ASSERT_EQ(RegisterTypeLibEntries(&lib, u"C:\\Dir\\lib.dll", nullptr), S_OK);
    EXPECT_EQ(all().count(helpdir + " : @ = sz:C:\\Dir"), 1u);
    ASSERT_EQ(RegisterTypeLibEntries(&lib, u"D:\\Elsewhere\\lib.dll", nullptr), S_OK);
    EXPECT_EQ(all().count(helpdir + " : @ = sz:C:\\Dir"), 1u);
    ASSERT_EQ(RegisterTypeLibEntries(&lib, u"D:\\Elsewhere\\lib.dll", u""), S_OK);
    EXPECT_EQ(all().count(helpdir + " : @ = sz:"), 1u);
}

struct RefusedCall {
    const char* name;
    HRESULT (*call)();
    HRESULT expected;
};

const RefusedCall kRefused[] = {
    {"unregister what is not registered",
     [] { return UnRegisterTypeLib(kLib, 1, 0, 0, SYS_WIN64); }, E_INVALIDARG},
    {"unregister an unknown system kind", [] { return UnRegisterTypeLib(kLib, 1, 0, 0, SYS_MAC); },
     E_INVALIDARG},
    {"register an unknown system kind",
     [] {
         const TypeLibEntries lib = library(1, 0, 0, SYS_MAC, 0);
         return RegisterTypeLibEntries(&lib, u"C:\\lib.dll", nullptr);
     },
     E_INVALIDARG},
    {"register without a path",
     [] {
         const TypeLibEntries lib = library(1, 0, 0, SYS_WIN64, 0);
         return RegisterTypeLibEntries(&lib, nullptr, nullptr);
     },
     E_INVALIDARG},
};

TEST_F(StandinRegistry, TypeLibraryCallsRefuseAsThePlatformDoes)
{
    for (const RefusedCall& c : kRefused) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(), c.expected);
        EXPECT_EQ(all(), Lines{});
    }
}

TEST_F(StandinRegistry, UnregisteringALibraryThatCannotBeReadFailsAndRemovesNothing)
{
    HKEY h = create(u"TypeLib\\{11111111-2222-3333-4444-555555555555}\\1.0\\0\\win64");
    ASSERT_EQ(set(h, nullptr, u"C:\\Never\\Registered\\Here.dll"), ERROR_SUCCESS);
    const Lines before = all();
    EXPECT_EQ(UnRegisterTypeLib(kLib, 1, 0, 0, SYS_WIN64), TYPE_E_INVALIDSTATE);
    EXPECT_EQ(all(), before);
}

TEST_F(StandinRegistry, AFailedLibraryKeyIsTheRegistryAccessStatus)
{
    const TypeLibEntries lib = library(1, 0, 0, SYS_WIN64, 0);
    rt::standin::fail_registry_change_after(1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegisterTypeLibEntries(&lib, u"C:\\lib.dll", nullptr), TYPE_E_REGISTRYACCESS);
}

}  // namespace
