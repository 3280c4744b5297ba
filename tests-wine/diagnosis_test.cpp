// The probe's diagnosis run in this process against the registered module,
// as a host of this program's bitness sees the machine: sound with and
// without TivDefn, and registrations spoiled on purpose, each put back.
#include "wine_support.h"

#include "tools/probe/diagnosis.h"
#include "tools/probe/host_module.h"

using namespace wt;

namespace {

const std::wstring kClassKey = L"CLSID\\{68A285B0-5582-4720-A801-BFCEF626BBD6}";
const std::wstring kInterfaceKey = L"Interface\\{0190584F-0F1B-4C7F-87AD-8BD51D2E8B4E}";

std::string narrow(const std::wstring& w) { return probe::utf8_of(w.c_str(), w.size()); }

// A REG_SZ value below HKEY_CLASSES_ROOT changed for the object's lifetime.
class ChangedValue {
public:
    ChangedValue(std::wstring key, const wchar_t* name, const std::wstring& text)
        : key_(std::move(key)), name_(name), before_(read_value(HKEY_CLASSES_ROOT, key_, name))
    {
        set(text);
    }
    ChangedValue(const ChangedValue&) = delete;
    ChangedValue& operator=(const ChangedValue&) = delete;
    ~ChangedValue() { set(before_.text); }

private:
    void set(const std::wstring& text)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, key_.c_str(), 0, KEY_SET_VALUE, &key),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    std::wstring key_;
    const wchar_t* name_;
    RegistryValue before_;
};

const probe::Check* find(const probe::Diagnosis& d, const std::string& name)
{
    for (const probe::Check& c : d.checks)
        if (c.check == name) return &c;
    return nullptr;
}

TEST(Diagnosis, SoundRegistrationPassesAndSpoiledOnesNameTheirFix)
{
    const std::string module = narrow(module_path());
    const std::string fix = "\"" + module + "\"";
    {
        const probe::Diagnosis d = probe::diagnose(module);
        EXPECT_EQ(d.failed(), 0) << probe::as_text(d);
        EXPECT_EQ(d.warnings(), host_library_registered() ? 0 : 1) << probe::as_text(d);
    }
    {
        const RegisteredHostLibrary host;
        ASSERT_EQ(host.status(), S_OK);
        const probe::Diagnosis d = probe::diagnose(module);
        EXPECT_EQ(d.failed(), 0) << probe::as_text(d);
        ASSERT_TRUE(find(d, "host library TivDefn"));
        EXPECT_EQ(find(d, "host library TivDefn")->status, probe::Verdict::Pass);
    }
    const struct {
        std::wstring key;
        const wchar_t* name;
        const wchar_t* text;
        const char* check;
        const char* detail;
    } spoiled[] = {
        {kClassKey + L"\\ProgID", nullptr, L"Other.Name", "program identifier",
         "the class key names Other.Name"},
        {kInterfaceKey + L"\\ProxyStubClsid32", nullptr, L"{00000000-0000-0000-0000-000000000001}",
         "interface",
         "_CTivOrvantaZNA100, marshaler {00000000-0000-0000-0000-000000000001}, library "
         "{CC0FE54A-F447-4D79-AD4D-90F94C59B003}"},
    };
    for (const auto& s : spoiled) {
        SCOPED_TRACE(s.check);
        const ChangedValue change(s.key, s.name, s.text);
        const probe::Diagnosis d = probe::diagnose(module);
        EXPECT_EQ(d.failed(), 1) << probe::as_text(d);
        const probe::Check* c = find(d, s.check);
        ASSERT_TRUE(c);
        EXPECT_EQ(c->status, probe::Verdict::Fail);
        EXPECT_NE(c->detail.find(s.detail), std::string::npos) << c->detail;
        EXPECT_EQ(c->fix.substr(c->fix.size() - fix.size()), fix);
        EXPECT_NE(c->fix.find("\\regsvr32.exe \""), std::string::npos) << c->fix;
    }
    EXPECT_EQ(probe::diagnose(module).failed(), 0);
}

}  // namespace
