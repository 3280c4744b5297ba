// What registration left in the classes hive, read back as a client reads
// it: the class, its program identifier, its type library and its default
// interface. The module is registered by `regsvr32 /s` before this program
// runs.
#include "wine_support.h"

using namespace wt;

namespace {

const std::wstring kClassKey = std::wstring(L"CLSID\\") + expected::kClsidText;
const std::wstring kLibraryKey = std::wstring(L"TypeLib\\") + expected::kLibidText + L"\\1.0";
const std::wstring kInterfaceKey = std::wstring(L"Interface\\") + expected::kDefaultIidText;
const wchar_t* const kPlatformKey = sizeof(void*) == 8 ? L"\\0\\win64" : L"\\0\\win32";

// A string value under HKEY_CLASSES_ROOT. kModulePath stands for the
// module's own full path, as the platform reports it for the loaded module.
struct StringEntry {
    std::wstring key;
    const wchar_t* name;  // nullptr: the default value
    std::wstring value;
};

const wchar_t kModulePath[] = L"<module path>";

std::vector<StringEntry> string_entries()
{
    return {
        {kClassKey, nullptr, expected::kProgId},
        {kClassKey + L"\\InprocServer32", nullptr, kModulePath},
        {kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {kClassKey + L"\\ProgID", nullptr, expected::kProgId},
        {kClassKey + L"\\VERSION", nullptr, L"1.0"},
        {kClassKey + L"\\TypeLib", nullptr, expected::kLibidText},
        {std::wstring(expected::kProgId) + L"\\CLSID", nullptr, expected::kClsidText},
        {kLibraryKey, nullptr, L"TivOrvantaZNA100"},
        {kLibraryKey + kPlatformKey, nullptr, kModulePath},
        {kLibraryKey + L"\\FLAGS", nullptr, L"0"},
        {kInterfaceKey, nullptr, L"_CTivOrvantaZNA100"},
        {kInterfaceKey + L"\\TypeLib", nullptr, expected::kLibidText},
        {kInterfaceKey + L"\\TypeLib", L"Version", L"1.0"},
        // Calls through the dual interface are marshalled by the platform's
        // automation marshaller.
        {kInterfaceKey + L"\\ProxyStubClsid32", nullptr, L"{00020424-0000-0000-C000-000000000046}"},
    };
}

// Keys that exist without a value that matters.
const std::wstring kPresentKeys[] = {
    kClassKey + L"\\Programmable",
    kLibraryKey + L"\\0",
};

class Registration : public ::testing::Test {
protected:
    LoadedModule module_;
};

TEST_F(Registration, TheModuleIsBuiltBesideTheTestProgram)
{
    ASSERT_NE(module_.handle(), nullptr) << narrow(module_path());
    EXPECT_EQ(module_.file_name(), module_path());
}

TEST_F(Registration, StringValuesOfTheClassItsProgramIdentifierAndItsTypeLibrary)
{
    ASSERT_NE(module_.handle(), nullptr);
    const std::wstring path = module_.file_name();
    for (const StringEntry& e : string_entries()) {
        const std::string where =
            "HKCR\\" + narrow(e.key) + " " + (e.name ? narrow(e.name) : std::string("(default)"));
        SCOPED_TRACE(where);
        const RegistryValue v = read_value(HKEY_CLASSES_ROOT, e.key, e.name);
        ASSERT_EQ(v.status, ERROR_SUCCESS);
        EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
        const std::wstring want = e.value == kModulePath ? path : e.value;
        EXPECT_EQ(v.text, want) << narrow(v.text) << " != " << narrow(want);
    }
}

TEST_F(Registration, KeysThatOnlyNeedToExist)
{
    for (const std::wstring& key : kPresentKeys)
        EXPECT_TRUE(key_exists(HKEY_CLASSES_ROOT, key)) << "HKCR\\" << narrow(key);
}

TEST_F(Registration, TheInprocServerPathNamesThisVeryFile)
{
    ASSERT_NE(module_.handle(), nullptr);
    const RegistryValue v = read_value(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32", nullptr);
    ASSERT_EQ(v.status, ERROR_SUCCESS);
    // Loading the registered path gives the module already loaded here.
    const HMODULE again = LoadLibraryW(v.text.c_str());
    EXPECT_EQ(again, module_.handle()) << narrow(v.text);
    if (again) FreeLibrary(again);
}

TEST_F(Registration, TheProgramIdentifierLeadsToTheClass)
{
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(expected::kProgId, &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, expected::kClsid)) << narrow(guid_text(clsid));

    LPOLESTR progid = nullptr;
    EXPECT_EQ(ProgIDFromCLSID(expected::kClsid, &progid), S_OK);
    EXPECT_EQ(std::wstring(progid ? progid : L""), expected::kProgId);
    CoTaskMemFree(progid);
}

TEST_F(Registration, OtherLetterCasesOfTheProgramIdentifierFindTheSameClass)
{
    // Registry keys are found without regard to letter case.
    for (const wchar_t* text : {L"tivorvantazna100.ctivorvantazna100", L"TIVORVANTAZNA100.CTIVORVANTAZNA100"}) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(text, &clsid), S_OK) << narrow(text);
        EXPECT_TRUE(IsEqualCLSID(clsid, expected::kClsid)) << narrow(text);
    }
}

TEST_F(Registration, TheRegisteredTypeLibraryIsFoundByIdentifierVersionAndLocale)
{
    BSTR path = nullptr;
    EXPECT_EQ(QueryPathOfRegTypeLib(expected::kLibid, 1, 0, 0, &path), S_OK);
    ASSERT_NE(path, nullptr);
    // The stored path may carry a terminator inside the string's length.
    EXPECT_STREQ(path, module_.file_name().c_str());
    SysFreeString(path);
}

TEST_F(Registration, NoOtherVersionOfTheTypeLibraryIsRegistered)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"TypeLib\\") + expected::kLibidText).c_str(),
                            0, KEY_READ, &key),
              ERROR_SUCCESS);
    std::vector<std::wstring> versions;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        versions.emplace_back(name, length);
    }
    RegCloseKey(key);
    EXPECT_EQ(versions, std::vector<std::wstring>{L"1.0"});
}

}  // namespace
