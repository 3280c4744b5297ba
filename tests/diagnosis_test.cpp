// `orvanta-probe --diagnose` over the stand-in registry: the machine states a
// host meets, each with its verdicts and the command that mends it. The
// module's code in this program registers; the built module is the file the
// keys then name, as an installer would leave it.
#include "runtime/standin/registry.h"
#include "tests/common/registry_snapshot.h"
#include "tools/probe/diagnosis.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

STDAPI DllRegisterServer();

namespace {

using registry_snapshot::wide;

const std::string kModule = ORVANTA_MODULE_PATH;
const std::string kClass = "CLSID\\{68A285B0-5582-4720-A801-BFCEF626BBD6}";
const std::string kLibraryPath =
    std::string("TypeLib\\{CC0FE54A-F447-4D79-AD4D-90F94C59B003}\\1.0\\0\\") +
    (sizeof(void*) == 8 ? "win64" : "win32");
const std::string kHostPath =
    std::string("TypeLib\\{A966A13A-FD2F-11D2-BF83-00C04F794409}\\22.2\\0\\") +
    (sizeof(void*) == 8 ? "win64" : "win32");
const std::string kRegister = "DllRegisterServer of " + kModule + ", in the host's process";

void set_text(const std::string& key, const std::string& name, const std::string& text)
{
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, wide(key).c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, &h, nullptr),
              ERROR_SUCCESS);
    const auto units = wide(text);
    const auto value = wide(name);
    EXPECT_EQ(RegSetValueExW(h, name.empty() ? nullptr : value.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(units.c_str()),
                             static_cast<DWORD>((units.size() + 1) * sizeof(WCHAR))),
              ERROR_SUCCESS);
    RegCloseKey(h);
}

// Registered as an installer leaves it, with the built module's path.
void sound()
{
    ASSERT_EQ(DllRegisterServer(), S_OK);
    set_text(kClass + "\\InprocServer32", "", kModule);
    set_text(kLibraryPath, "", kModule);
}

struct State {
    const char* name;
    std::function<void()> make;
    std::string module;  // the module beside the probe
    const char* check;   // the one check that does not pass
    probe::Verdict status;
    std::string detail_part;
    std::string fix;
    int failed;
    bool created;  // creation through the platform still works
};

TEST(Diagnosis, EachMachineStateNamesItsCauseAndFix)
{
    const State states[] = {
        {"not registered", [] {}, kModule, "class key", probe::Verdict::Fail,
         " is absent for " + std::to_string(sizeof(void*) * 8) + "-bit hosts", kRegister, 6, false},
        {"sound, without TivDefn", sound, kModule, "host library TivDefn", probe::Verdict::Warn,
         "TivDefn 34.2 is not registered", "", 0, true},
        {"sound, with TivDefn",
         [] {
             sound();
             set_text(kHostPath, "", kModule);
         },
         kModule, nullptr, probe::Verdict::Pass, "", "", 0, true},
        {"TivDefn's file gone",
         [] {
             sound();
             set_text(kHostPath, "", "/gone/TivDefn.dll");
         },
         kModule, "host library TivDefn", probe::Verdict::Fail,
         "/gone/TivDefn.dll, which does not exist",
         "reinstall the host application that provides /gone/TivDefn.dll", 1, true},
        {"server moved",
         [] {
             sound();
             set_text(kClass + "\\InprocServer32", "", "/gone/m.so");
         },
         kModule, "server file", probe::Verdict::Fail,
         "/gone/m.so does not exist; the module is now at " + kModule, kRegister, 3, false},
        {"keys left behind",
         [] {
             sound();
             set_text(kClass + "\\InprocServer32", "", "/gone/m.so");
             set_text(kLibraryPath, "", "/gone/m.so");
         },
         "/gone/beside/m.so", "server file", probe::Verdict::Fail,
         "the keys were left behind after the file was removed",
         "put the module back and call its DllRegisterServer", 4, false},
        {"not a module",
         [] {
             sound();
             set_text(kClass + "\\InprocServer32", "", "/etc/hostname");
         },
         kModule, "server file", probe::Verdict::Fail,
         "/etc/hostname is not a module of this platform", kRegister, 3, false},
        {"threading model",
         [] {
             sound();
             set_text(kClass + "\\InprocServer32", "ThreadingModel", "Free");
         },
         kModule, "in-process server", probe::Verdict::Fail,
         "ThreadingModel \"Free\" instead of \"Apartment\"", kRegister, 1, true},
        {"stale type library",
         [] {
             sound();
             set_text(kLibraryPath, "", "/old/m.so");
         },
         kModule, "type library", probe::Verdict::Fail,
         "registered at /old/m.so, which does not exist", kRegister, 1, true},
    };
    for (const State& s : states) {
        SCOPED_TRACE(s.name);
        rt::standin::registry_reset();
        s.make();
        const probe::Diagnosis d = probe::diagnose(s.module);
        EXPECT_EQ(d.failed(), s.failed) << probe::as_text(d);
        for (const probe::Check& c : d.checks) {
            if (s.check && c.check == s.check) {
                EXPECT_EQ(c.status, s.status);
                EXPECT_NE(c.detail.find(s.detail_part), std::string::npos) << c.detail;
                EXPECT_EQ(c.fix, s.fix);
            } else if (c.check.rfind("creation", 0) == 0) {
                EXPECT_EQ(c.status == probe::Verdict::Pass, s.created) << c.detail;
            } else if (s.failed <= 3 && c.check != "host library TivDefn") {
                EXPECT_EQ(c.status, probe::Verdict::Pass) << c.check << ": " << c.detail;
            }
        }
    }
    rt::standin::registry_reset();
}

TEST(Diagnosis, JsonCountsAndSoundReportEnding)
{
    rt::standin::registry_reset();
    sound();
    const probe::Diagnosis d = probe::diagnose(kModule);
    const std::string json = probe::as_json(d);
    EXPECT_EQ(json.rfind("], \"failed\": 0, \"warnings\": 1}\n"), json.size() - 31);
    EXPECT_NE(json.find("{\"check\": \"creation by class identifier\", \"status\": \"pass\", "
                        "\"detail\": \"{68A285B0-5582-4720-A801-BFCEF626BBD6}, ServerGUID "),
              std::string::npos);
    const std::string text = probe::as_text(d);
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1),
              "all checks passed (10 checks, 0 failed, 1 warning)\n");
    rt::standin::registry_reset();
}

}  // namespace
