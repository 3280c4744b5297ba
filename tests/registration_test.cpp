// Registration over the stand-in registry: the exact key set of
// tests/common/expected_registry.h (the list the Windows tests assert too),
// idempotence of both entry points, exact restoration of the registry, and
// registry failures reaching the caller unchanged.
#include "runtime/standin/registry.h"
#include "runtime/standin/typelib_registry.h"
#include "tests/common/expected_registry.h"
#include "tests/common/registry_snapshot.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

STDAPI DllRegisterServer();
STDAPI DllUnregisterServer();

namespace {

using registry_snapshot::Lines;
using registry_snapshot::minus;
using registry_snapshot::wide;

constexpr const char* kEverything[] = {""};

Lines whole_registry()
{
    bool complete = false;
    Lines lines = registry_snapshot::classes_trees(kEverything, &complete);
    EXPECT_TRUE(complete) << "the registry could not be read whole";
    return lines;
}

std::string text_lines(const Lines& lines)
{
    std::string out;
    for (const std::string& line : lines) out += "  " + line + "\n";
    return out.empty() ? "  (none)\n" : out;
}

// The module's code is linked into this program, so the program is the file
// registration names.
std::string this_program()
{
    char* path = realpath("/proc/self/exe", nullptr);
    std::string out = path ? path : "";
    std::free(path);
    return out;
}

expected_registry::Substitutions here()
{
    return {this_program(), sizeof(void*) == 8 ? "win64" : "win32", "0"};
}

void set_text(const std::string& key, const std::string& name, const std::string& text)
{
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, wide(key).c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, &h, nullptr),
              ERROR_SUCCESS)
        << key;
    const auto units = wide(text);
    const auto value_name = wide(name);
    EXPECT_EQ(RegSetValueExW(h, name.empty() ? nullptr : value_name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(units.c_str()),
                             static_cast<DWORD>((units.size() + 1) * sizeof(WCHAR))),
              ERROR_SUCCESS);
    RegCloseKey(h);
}

// A machine as registration finds it: the usual top-level keys, another
// class, and the host's library TivDefn with its IServer.
void install_machine()
{
    set_text("CLSID\\{00000000-1111-2222-3333-444444444444}", "", "Another.Class");
    set_text("CLSID\\{00000000-1111-2222-3333-444444444444}\\InprocServer32", "", "/opt/other.so");
    set_text("Other.Class\\CLSID", "", "{00000000-1111-2222-3333-444444444444}");
    set_text("TypeLib\\{A966A13A-FD2F-11D2-BF83-00C04F794409}\\22.2", "", "TivDefn");
    set_text("TypeLib\\{A966A13A-FD2F-11D2-BF83-00C04F794409}\\22.2\\0\\win32", "",
             "C:\\Host\\TivDefn.dll");
    set_text("TypeLib\\{A966A13A-FD2F-11D2-BF83-00C04F794409}\\22.2\\FLAGS", "", "0");
    set_text("TypeLib\\{A966A13A-FD2F-11D2-BF83-00C04F794409}\\22.2\\HELPDIR", "", "C:\\Host");
    set_text("Interface\\{89078C47-AB89-11D3-B1BC-00C04F794409}", "", "IServer");
    set_text("Interface\\{89078C47-AB89-11D3-B1BC-00C04F794409}\\TypeLib", "",
             "{A966A13A-FD2F-11D2-BF83-00C04F794409}");
    set_text("Interface\\{89078C47-AB89-11D3-B1BC-00C04F794409}\\TypeLib", "Version", "22.2");
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override
    {
        rt::standin::fail_registry_change_after(0, ERROR_SUCCESS);
        rt::standin::registry_reset();
        install_machine();
        machine_ = whole_registry();
        ASSERT_FALSE(machine_.empty());
    }
    void TearDown() override
    {
        rt::standin::fail_registry_change_after(0, ERROR_SUCCESS);
        rt::standin::registry_reset();
    }

    Lines machine_;
};

TEST_F(Registration, PublishesExactlyTheExpectedKeysAndValues)
{
    ASSERT_EQ(DllRegisterServer(), S_OK);
    const Lines after = whole_registry();
    const Lines expected = registry_snapshot::expected_lines(here());
    EXPECT_EQ(minus(after, machine_), expected)
        << "added:\n"
        << text_lines(minus(after, machine_)) << "expected:\n"
        << text_lines(expected);
    EXPECT_EQ(minus(machine_, after), Lines{}) << "changed or removed:\n"
                                               << text_lines(minus(machine_, after));
}

TEST_F(Registration, ExpectedListIsClosedAndHeldByItsTrees)
{
    // Every listed key's parent inside a tree is listed too, and every key
    // lies in one of the trees unregistration removes.
    const Lines expected = registry_snapshot::expected_lines(here());
    for (const expected_registry::Entry& e : expected_registry::kEntries) {
        const std::string key = expected_registry::expand(e.key, here());
        bool in_tree = false;
        for (const char* tree : expected_registry::kTrees) {
            const std::string root = tree;
            if (key == root) in_tree = true;
            if (key.compare(0, root.size() + 1, root + "\\") == 0) {
                in_tree = true;
                EXPECT_EQ(expected.count(key.substr(0, key.rfind('\\'))), 1u) << key;
            }
        }
        EXPECT_TRUE(in_tree) << key;
    }
}

TEST_F(Registration, RegisteringTwiceLeavesTheRegistryAsOnce)
{
    ASSERT_EQ(DllRegisterServer(), S_OK);
    const Lines once = whole_registry();
    ASSERT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(whole_registry(), once);
}

TEST_F(Registration, UnregisteringRestoresTheRegistryExactly)
{
    ASSERT_EQ(DllRegisterServer(), S_OK);
    ASSERT_EQ(DllUnregisterServer(), S_OK);
    const Lines after = whole_registry();
    EXPECT_EQ(after, machine_) << "left behind:\n"
                               << text_lines(minus(after, machine_)) << "lost:\n"
                               << text_lines(minus(machine_, after));
}

TEST_F(Registration, UnregisteringTwiceOrWithoutRegistrationSucceedsAndChangesNothing)
{
    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(whole_registry(), machine_);
    ASSERT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(whole_registry(), machine_);
}

TEST_F(Registration, RegistersAgainAfterUnregistering)
{
    ASSERT_EQ(DllRegisterServer(), S_OK);
    const Lines first = whole_registry();
    ASSERT_EQ(DllUnregisterServer(), S_OK);
    ASSERT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(whole_registry(), first);
}

// Whatever part of the registration is left, unregistering removes it.
struct Remnant {
    const char* name;
    std::vector<const char*> trees_to_delete;  // removed after registering, to leave the rest
};

const Remnant kRemnants[] = {
    {"class keys only",
     {"TypeLib\\{CC0FE54A-F447-4D79-AD4D-90F94C59B003}",
      "Interface\\{0190584F-0F1B-4C7F-87AD-8BD51D2E8B4E}"}},
    {"type library only",
     {"CLSID\\{68A285B0-5582-4720-A801-BFCEF626BBD6}", "TivOrvantaZNA100.CTivOrvantaZNA100"}},
    {"no program identifier", {"TivOrvantaZNA100.CTivOrvantaZNA100"}},
    {"no class key", {"CLSID\\{68A285B0-5582-4720-A801-BFCEF626BBD6}"}},
    {"no interface keys", {"Interface\\{0190584F-0F1B-4C7F-87AD-8BD51D2E8B4E}"}},
};

TEST_F(Registration, UnregisteringRemovesWhateverPartIsLeft)
{
    for (const Remnant& r : kRemnants) {
        SCOPED_TRACE(r.name);
        ASSERT_EQ(DllRegisterServer(), S_OK);
        for (const char* tree : r.trees_to_delete)
            ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, wide(tree).c_str()), ERROR_SUCCESS);
        EXPECT_EQ(DllUnregisterServer(), S_OK);
        EXPECT_EQ(whole_registry(), machine_) << text_lines(minus(whole_registry(), machine_));
    }
}

TEST_F(Registration, UnregisteringKeepsOtherVersionsOfTheLibrary)
{
    set_text("TypeLib\\{CC0FE54A-F447-4D79-AD4D-90F94C59B003}\\2.0", "", "TivOrvantaZNA100");
    set_text("TypeLib\\{CC0FE54A-F447-4D79-AD4D-90F94C59B003}\\2.0\\0\\win32", "", "C:\\v2.dll");
    const Lines before = whole_registry();
    ASSERT_EQ(DllRegisterServer(), S_OK);
    ASSERT_EQ(DllUnregisterServer(), S_OK);
    const Lines after = whole_registry();
    EXPECT_EQ(after, before) << "left behind:\n"
                             << text_lines(minus(after, before)) << "lost:\n"
                             << text_lines(minus(before, after));
}

TEST_F(Registration, UnregisteringKeepsTheLibraryOfTheOtherSystemKind)
{
    // As the platform does: only this build's path key goes; the version's
    // shared keys stay while another system kind is registered.
    const std::string ours = sizeof(void*) == 8 ? "win64" : "win32";
    const std::string other = sizeof(void*) == 8 ? "win32" : "win64";
    const std::string version = "TypeLib\\{CC0FE54A-F447-4D79-AD4D-90F94C59B003}\\1.0";
    set_text(version + "\\0\\" + other, "", "C:\\other.dll");
    ASSERT_EQ(DllRegisterServer(), S_OK);
    ASSERT_EQ(DllUnregisterServer(), S_OK);
    const Lines after = whole_registry();
    EXPECT_EQ(after.count(version + "\\0\\" + other + " : @ = sz:C:\\other.dll"), 1u);
    EXPECT_EQ(after.count(version + "\\0\\" + ours), 0u);
    EXPECT_EQ(after.count(version + " : @ = sz:TivOrvantaZNA100"), 1u);
    EXPECT_EQ(after.count(version + "\\FLAGS : @ = sz:0"), 1u);
    EXPECT_EQ(after.count(version + "\\HELPDIR : @ = sz:"), 1u);
    const char* gone[] = {"CLSID\\{68A285B0-5582-4720-A801-BFCEF626BBD6}",
                          "TivOrvantaZNA100.CTivOrvantaZNA100",
                          "Interface\\{0190584F-0F1B-4C7F-87AD-8BD51D2E8B4E}"};
    EXPECT_EQ(registry_snapshot::classes_trees(gone), Lines{});
}

TEST_F(Registration, NeverTouchesTheHostLibrary)
{
    const Lines host = registry_snapshot::classes_trees(expected_registry::kHostTrees);
    ASSERT_FALSE(host.empty());
    ASSERT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(registry_snapshot::classes_trees(expected_registry::kHostTrees), host);
    ASSERT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(registry_snapshot::classes_trees(expected_registry::kHostTrees), host);
}

// A registry failure at each change registration makes, in turn. Failures
// in the class's and the interface's keys reach the caller as
// HRESULT_FROM_WIN32 of the code; failures in the type library's own keys as
// the platform's registration status; a failure the platform's type-library
// registration ignores (in the interface keys) is mended by the module's own
// write. Registration is all or nothing: afterwards the machine holds either
// the whole registration or none of it.
struct InjectedFailure {
    const char* name;
    LSTATUS status;
};

const InjectedFailure kFailures[] = {
    {"access denied", ERROR_ACCESS_DENIED},
    {"out of memory", ERROR_NOT_ENOUGH_MEMORY},
};

TEST_F(Registration, EachRegistryFailureLeavesAllOrNothingAndReachesTheCaller)
{
    Lines registered = machine_;
    const Lines expected = registry_snapshot::expected_lines(here());
    registered.insert(expected.begin(), expected.end());
    for (const InjectedFailure& f : kFailures) {
        SCOPED_TRACE(f.name);
        int library_failures = 0;
        int mended_failures = 0;
        int entry_failures = 0;
        for (long n = 1;; ++n) {
            SCOPED_TRACE("change " + std::to_string(n));
            rt::standin::registry_reset();
            install_machine();
            rt::standin::fail_registry_change_after(n, f.status);
            const HRESULT hr = DllRegisterServer();
            const long changes = rt::standin::registry_changes_seen();
            rt::standin::fail_registry_change_after(0, ERROR_SUCCESS);
            if (n > changes) {
                EXPECT_EQ(hr, S_OK);
                break;
            }
            if (hr == S_OK) {
                ++mended_failures;
                EXPECT_EQ(whole_registry(), registered)
                    << text_lines(minus(registered, whole_registry()));
                continue;
            }
            if (hr == TYPE_E_REGISTRYACCESS) {
                ++library_failures;
            } else {
                EXPECT_EQ(hr, HRESULT_FROM_WIN32(static_cast<unsigned long>(f.status)));
                ++entry_failures;
            }
            EXPECT_EQ(whole_registry(), machine_) << text_lines(minus(whole_registry(), machine_));
        }
        EXPECT_GT(library_failures, 0);
        EXPECT_GT(mended_failures, 0);
        EXPECT_GT(entry_failures, 0);
    }
}

TEST_F(Registration, EachRegistryFailureWhileUnregisteringReachesTheCallerUnchanged)
{
    for (const InjectedFailure& f : kFailures) {
        SCOPED_TRACE(f.name);
        ASSERT_EQ(DllRegisterServer(), S_OK);
        const Lines registered = whole_registry();
        rt::standin::fail_registry_change_after(1, f.status);
        EXPECT_EQ(DllUnregisterServer(), HRESULT_FROM_WIN32(static_cast<unsigned long>(f.status)));
        rt::standin::fail_registry_change_after(0, ERROR_SUCCESS);
        EXPECT_EQ(whole_registry(), registered);  // the first removal failed: nothing removed
        EXPECT_EQ(DllUnregisterServer(), S_OK);
        EXPECT_EQ(whole_registry(), machine_);
    }
}

// A registry failure at each change unregistration makes, in turn. Success
// is reported only when the module's library is no longer registered for
// this build; otherwise the failure reaches the caller, and a second
// unregistration finishes the work.
TEST_F(Registration, UnregisteringReportsSuccessOnlyWhenTheLibraryIsGone)
{
    const std::string path_key =
        std::string("TypeLib\\{CC0FE54A-F447-4D79-AD4D-90F94C59B003}\\1.0\\0\\") +
        (sizeof(void*) == 8 ? "win64" : "win32");
    const char* const library[] = {path_key.c_str()};
    int library_failures = 0;
    for (long n = 1;; ++n) {
        SCOPED_TRACE("change " + std::to_string(n));
        rt::standin::registry_reset();
        install_machine();
        ASSERT_EQ(DllRegisterServer(), S_OK);
        ASSERT_FALSE(registry_snapshot::classes_trees(library).empty());
        rt::standin::fail_registry_change_after(n, ERROR_ACCESS_DENIED);
        const HRESULT hr = DllUnregisterServer();
        const long changes = rt::standin::registry_changes_seen();
        rt::standin::fail_registry_change_after(0, ERROR_SUCCESS);
        const bool library_left = !registry_snapshot::classes_trees(library).empty();
        if (hr == S_OK) {
            EXPECT_FALSE(library_left) << "success reported with the library still registered";
        } else {
            library_failures += hr == TYPE_E_REGISTRYACCESS;
            EXPECT_TRUE(hr == TYPE_E_REGISTRYACCESS ||
                        hr == HRESULT_FROM_WIN32(static_cast<unsigned long>(ERROR_ACCESS_DENIED)))
                << std::hex << hr;
            EXPECT_EQ(DllUnregisterServer(), S_OK);
            EXPECT_EQ(whole_registry(), machine_) << text_lines(minus(whole_registry(), machine_));
        }
        if (n > changes) break;
    }
    EXPECT_EQ(library_failures, 1);
}

// The shared module exports both entry points, and they work over its own
// copy of the stand-in registry.
TEST(RegistrationExports, TheSharedModuleRegistersAndUnregisters)
{
    void* module = dlopen(ORVANTA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    using EntryPoint = HRESULT (*)();
    auto reg = reinterpret_cast<EntryPoint>(dlsym(module, "DllRegisterServer"));
    auto unreg = reinterpret_cast<EntryPoint>(dlsym(module, "DllUnregisterServer"));
    ASSERT_NE(reg, nullptr);
    ASSERT_NE(unreg, nullptr);
    EXPECT_EQ(reg(), S_OK);
    EXPECT_EQ(reg(), S_OK);
    EXPECT_EQ(unreg(), S_OK);
    EXPECT_EQ(unreg(), S_OK);
    // The registry functions stay inside the module.
    EXPECT_EQ(dlsym(module, "RegCreateKeyExW"), nullptr);
    dlclose(module);
}

}  // namespace
