// What registration left in the classes hive, read back as a client reads
// it: the class, its program identifier, its type library and its default
// interface. The module is registered by `regsvr32 /s` before this program
// runs. The expected keys and values are the project's shared list,
// tests/common/expected_registry.h, which the native registration tests
// assert as well.
#include "wine_support.h"

#include "tests/common/expected_registry.h"
#include "tests/common/registry_snapshot.h"

using namespace wt;

namespace {

using registry_snapshot::Lines;

// True when running under Wine: its ntdll exports wine_get_version.
bool under_wine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string lines_text(const Lines& lines)
{
    std::string out;
    for (const std::string& line : lines) out += "  " + line + "\n";
    return out.empty() ? "  (none)\n" : out;
}

class Registration : public ::testing::Test {
protected:
    expected_registry::Substitutions substitutions() const
    {
        const std::wstring path = module_.file_name();
        return {registry_snapshot::utf8(path.data(), path.size()),
                sizeof(void*) == 8 ? "win64" : "win32",
                // Wine's loader marks every library read from a file as
                // having a disk image, and its registration writes that flag.
                under_wine() ? "8" : "0"};
    }

    LoadedModule module_;
};

TEST_F(Registration, TheModuleIsBuiltBesideTheTestProgram)
{
    ASSERT_NE(module_.handle(), nullptr) << printable(module_path());
    EXPECT_EQ(module_.file_name(), module_path());
}

// Every listed key, and every listed value read with RegQueryValueExW.
TEST_F(Registration, EveryListedKeyAndValue)
{
    ASSERT_NE(module_.handle(), nullptr);
    const expected_registry::Substitutions s = substitutions();
    for (const expected_registry::Entry& e : expected_registry::kEntries) {
        const std::string key = expected_registry::expand(e.key, s);
        const std::wstring wkey(registry_snapshot::wide(key).c_str());
        const std::string where =
            "HKCR\\" + key +
            (e.value_name ? std::string(" : ") + (*e.value_name ? e.value_name : "@") : "");
        SCOPED_TRACE(where);
        EXPECT_TRUE(key_exists(HKEY_CLASSES_ROOT, wkey));
        if (!e.value_name) continue;
        const std::wstring name(registry_snapshot::wide(e.value_name).c_str());
        const RegistryValue v =
            read_value(HKEY_CLASSES_ROOT, wkey, *e.value_name ? name.c_str() : nullptr);
        ASSERT_EQ(v.status, ERROR_SUCCESS);
        EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
        const std::string want = expected_registry::expand(e.data, s);
        EXPECT_EQ(registry_snapshot::utf8(v.text.data(), v.text.size()), want);
    }
}

// Exactly those: no other key or value in the trees registration owns, and
// every string stored with one terminating zero.
TEST_F(Registration, NothingElseInTheRegisteredTrees)
{
    ASSERT_NE(module_.handle(), nullptr);
    bool complete = false;
    const Lines found = registry_snapshot::classes_trees(expected_registry::kTrees, &complete);
    EXPECT_TRUE(complete);
    const Lines wanted = registry_snapshot::expected_lines(substitutions());
    EXPECT_EQ(found, wanted) << "missing:\n"
                             << lines_text(registry_snapshot::minus(wanted, found))
                             << "unexpected:\n"
                             << lines_text(registry_snapshot::minus(found, wanted));
}

TEST_F(Registration, TheHostLibraryIsNotRegisteredByTheModule)
{
    const Lines host = registry_snapshot::classes_trees(expected_registry::kHostTrees);
    EXPECT_TRUE(host.empty()) << lines_text(host);
}

TEST_F(Registration, TheInprocServerPathLoadsThisVeryFile)
{
    ASSERT_NE(module_.handle(), nullptr);
    const RegistryValue v =
        read_value(HKEY_CLASSES_ROOT,
                   std::wstring(L"CLSID\\") + expected::kClsidText + L"\\InprocServer32", nullptr);
    ASSERT_EQ(v.status, ERROR_SUCCESS);
    const HMODULE again = LoadLibraryW(v.text.c_str());
    EXPECT_EQ(again, module_.handle()) << printable(v.text);
    if (again) FreeLibrary(again);
}

TEST_F(Registration, TheProgramIdentifierLeadsToTheClassAndBack)
{
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(expected::kProgId, &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, expected::kClsid)) << printable(guid_text(clsid));

    LPOLESTR progid = nullptr;
    EXPECT_EQ(ProgIDFromCLSID(expected::kClsid, &progid), S_OK);
    EXPECT_EQ(std::wstring(progid ? progid : L""), expected::kProgId);
    CoTaskMemFree(progid);

    // Registry keys are found without regard to letter case.
    for (const wchar_t* text :
         {L"tivorvantazna100.ctivorvantazna100", L"TIVORVANTAZNA100.CTIVORVANTAZNA100"}) {
        CLSID other{};
        EXPECT_EQ(CLSIDFromProgID(text, &other), S_OK) << printable(text);
        EXPECT_TRUE(IsEqualCLSID(other, expected::kClsid)) << printable(text);
    }
}

TEST_F(Registration, TheRegisteredTypeLibraryIsFoundByIdentifierVersionAndLocale)
{
    ASSERT_NE(module_.handle(), nullptr);
    BSTR path = nullptr;
    EXPECT_EQ(QueryPathOfRegTypeLib(expected::kLibid, 1, 0, 0, &path), S_OK);
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, module_.file_name().c_str());
    SysFreeString(path);
}

// The platform's answer for a library with nothing registered is
// E_INVALIDARG, never TYPE_E_REGISTRYACCESS: so the module's unregistration,
// which skips a library that is not registered, passes every status the
// platform gives it on to the caller.
TEST_F(Registration, UnregisteringALibraryNeverRegisteredIsAnInvalidArgument)
{
    const GUID never = {
        0x5C7E0F31, 0x2B4D, 0x4E61, {0x9A, 0x10, 0x6F, 0x3D, 0x22, 0x81, 0x4B, 0xE7}};
    EXPECT_EQ(UnRegisterTypeLib(never, 1, 0, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32),
              E_INVALIDARG);
    EXPECT_EQ(
        UnRegisterTypeLib(expected::kLibid, 9, 0, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32),
        E_INVALIDARG);
}

}  // namespace
