// The checks of `--diagnose`, in the order a host meets them when it creates
// the class: its key, the server file, the program identifier, the type
// library and interface the platform's marshaling reads, the host's own
// library, the other registry view, and the creation itself.
#include "tools/probe/diagnosis.h"

#include "definition/module_identity.h"
#include "frame/registration.h"
#include "runtime/ascii_case.h"
#include "tools/probe/machine.h"
#include "tools/probe/server_report.h"

#include <algorithm>
#include <cstdio>

namespace probe {
namespace {

namespace id = orvanta::identity;
using machine::View;

using orvanta::registration::kAutomationMarshaler;

std::string s(std::string_view v) { return std::string(v); }
std::string bits_text(int bits) { return std::to_string(bits) + "-bit"; }
std::string syskind(int bits) { return bits == 64 ? "win64" : "win32"; }
// Registry texts (identifiers, key names) compare without regard to ASCII case.
bool same_text(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
        return rt::ascii_upper(x) == rt::ascii_upper(y);
    });
}
std::string status_text(HRESULT hr)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
    return std::string(buf) + " (" + machine::message_of(hr) + ")";
}

// The key of a type library's locale-neutral registration for hosts of `bits`.
std::string library_key(std::string_view library, int major, int minor, int bits)
{
    char version[32];  // the key names the version in hexadecimal
    std::snprintf(version, sizeof version, "\\%x.%x\\0\\", static_cast<unsigned>(major),
                  static_cast<unsigned>(minor));
    return "TypeLib\\" + s(library) + version + syskind(bits);
}

class Diagnoser {
public:
    explicit Diagnoser(const std::string& module_path)
        : module_(module_path),
          module_present_(machine::inspect(module_path).exists),
          own_(machine::own_view())
    {
    }

    Diagnosis run()
    {
        const bool have_class = class_key();
        if (have_class) server_file();
        program_id();
        type_library();
        interface_key();
        host_library();
        other_view(have_class);
        creation(true);
        creation(false);
        return std::move(result_);
    }

private:
    void add(const char* check, Verdict v, std::string detail, std::string fix = "")
    {
        result_.checks.push_back({check, v, std::move(detail), v == Verdict::Fail ? fix : ""});
    }
    void pass(const char* check, std::string text) { add(check, Verdict::Pass, std::move(text)); }
    // A failure that registering the module mends.
    void fail(const char* check, std::string detail)
    {
        add(check, Verdict::Fail, std::move(detail), register_fix());
    }
    // Without the module beside the probe there is nothing to register: the
    // package puts the file and its keys back.
    std::string register_fix() const
    {
        return module_present_ ? machine::register_command(module_, own_.bits)
                               : machine::repair_command(own_.bits);
    }
    std::string hosts() const { return bits_text(own_.bits) + " hosts"; }

    bool class_key()
    {
        const std::string key = "CLSID\\" + s(id::kClassId);
        if (!machine::registry_key(own_, key)) {
            fail("class key", "HKCR\\" + key + " is absent for " + hosts());
            return false;
        }
        pass("class key", "HKCR\\" + key);
        std::string threading;
        if (!machine::registry_text(own_, key + "\\InprocServer32", "", server_) ||
            server_.empty()) {
            fail("in-process server", "InprocServer32 holds no path");
            return false;
        }
        machine::registry_text(own_, key + "\\InprocServer32", "ThreadingModel", threading);
        if (!same_text(threading, "Apartment"))
            fail("in-process server",
                 server_ + ", ThreadingModel \"" + threading + "\" instead of \"Apartment\"");
        else
            pass("in-process server", server_ + ", ThreadingModel " + threading);
        return true;
    }

    void server_file()
    {
        const machine::FileFacts f = machine::inspect(server_);
        const std::string file_name = s(id::kModuleName) + ".dll";
        if (!f.exists)
            // Moved: register it where it is now. Gone: the keys were left behind.
            fail("server file",
                 server_ + " does not exist" +
                     (module_present_ ? "; the module is now at " + module_
                                      : "; the keys were left behind after the file was removed"));
        else if (f.bits == 0)
            fail("server file", server_ + " is not a module of this platform");
        else if (f.bits != own_.bits)
            fail("server file", server_ + " is a " + bits_text(f.bits) + " module, which " +
                                    hosts() + " cannot load");
        else if (f.has_version &&
                 (f.version != id::kVersionText || !same_text(f.original_name, file_name)))
            fail("server file", server_ + " is not this module: version " + f.version + ", file " +
                                    f.original_name + " (expected " + s(id::kVersionText) + ", " +
                                    file_name + ")");
        else
            pass("server file", bits_text(f.bits) + " module" +
                                    (f.has_version ? ", version " + f.version
                                                   : ", no version block on this platform"));
    }

    void program_id()
    {
        std::string clsid, progid;
        const bool found = machine::registry_text(own_, s(id::kProgramId) + "\\CLSID", "", clsid);
        machine::registry_text(own_, "CLSID\\" + s(id::kClassId) + "\\ProgID", "", progid);
        if (!found)
            fail("program identifier", "HKCR\\" + s(id::kProgramId) + " is absent");
        else if (!same_text(clsid, s(id::kClassId)))
            fail("program identifier",
                 s(id::kProgramId) + " names class " + clsid + ", not " + s(id::kClassId));
        else if (!progid.empty() && progid != id::kProgramId)
            fail("program identifier", "the class key names " + progid);
        else
            pass("program identifier", s(id::kProgramId) + " -> " + clsid);
    }

    void type_library()
    {
        const std::string key =
            library_key(id::kLibraryId, id::kLibraryMajor, id::kLibraryMinor, own_.bits);
        std::string path, detail;
        // The library of the module a fix registers, or else of the server file.
        const std::string& embedding = module_present_ || server_.empty() ? module_ : server_;
        if (!machine::registry_text(own_, key, "", path))
            fail("type library", "HKCR\\" + key + " is absent");
        else if (!machine::inspect(path).exists)
            fail("type library", "registered at " + path + ", which does not exist");
        else if (!machine::same_library(path, embedding, detail))
            fail("type library", path + ": " + detail);
        else
            pass("type library", "1.0, locale 0, " + syskind(own_.bits) + ", " + path +
                                     (detail.empty() ? "" : ", ") + detail);
    }

    void interface_key()
    {
        const std::string key = "Interface\\" + s(id::kDefaultInterfaceId);
        std::string name, marshaler, library;
        if (!machine::registry_text(own_, key, "", name)) {
            fail("interface", "HKCR\\" + key + " is absent");
            return;
        }
        machine::registry_text(own_, key + "\\ProxyStubClsid32", "", marshaler);
        machine::registry_text(own_, key + "\\TypeLib", "", library);
        if (name != id::kDefaultInterfaceName || !same_text(marshaler, kAutomationMarshaler) ||
            !same_text(library, s(id::kLibraryId)))
            fail("interface", name + ", marshaler " + marshaler + ", library " + library);
        else
            pass("interface", name + ", marshaler " + marshaler);
    }

    void host_library()
    {
        const char* check = "host library TivDefn";
        const std::string key = library_key(id::kHostLibraryId, id::kHostLibraryMajor,
                                            id::kHostLibraryMinor, own_.bits);
        std::string path, detail;
        if (!machine::registry_text(own_, key, "", path)) {
            add(check, Verdict::Warn,
                "TivDefn " + std::to_string(id::kHostLibraryMajor) + "." +
                    std::to_string(id::kHostLibraryMinor) +
                    " is not registered: the host installs it; late binding answers from the "
                    "module's own table");
            return;
        }
        const std::string reinstall = "reinstall the host application that provides " + path;
        bool checked = false;
        if (!machine::inspect(path).exists)
            add(check, Verdict::Fail, "registered at " + path + ", which does not exist",
                reinstall);
        else if (!machine::host_library_lays_out_server(checked, detail) && checked)
            add(check, Verdict::Fail, path + ": " + detail, reinstall);
        else
            pass(check, path + ", " + detail);
    }

    void other_view(bool have_class)
    {
        View other{};
        const char* check = "other registry view";
        if (!machine::other_view(other)) {
            pass(check, "this machine has one registry view");
            return;
        }
        const std::string key = "CLSID\\" + s(id::kClassId) + "\\InprocServer32";
        std::string path;
        const bool there = machine::registry_text(other, key, "", path);
        const std::string others = bits_text(other.bits) + " hosts";
        if (!there)
            pass(check, "not registered for " + others);
        else if (!have_class)
            fail(check, "registered for " + others + " only, at " + path);
        else if (!same_text(path, server_))
            add(check, Verdict::Warn,
                "also registered for " + others + ", at " + path +
                    "; the type library and program identifier keys are shared by both views");
        else
            add(check, Verdict::Warn,
                "the same file is registered for " + others + ": one of the two cannot load it");
    }

    void creation(bool by_program_id)
    {
        const char* check =
            by_program_id ? "creation by program identifier" : "creation by class identifier";
        std::string guid;
        const HRESULT hr = machine::create_and_call(by_program_id, guid);
        const std::string what = by_program_id ? s(id::kProgramId) : s(id::kClassId);
        if (SUCCEEDED(hr))
            pass(check, what + ", ServerGUID " + guid);
        else if (result_.failed() > 0)
            add(check, Verdict::Fail, what + ": " + status_text(hr), "mend the failures above");
        else
            fail(check, what + ": " + status_text(hr));
    }

    std::string module_;
    bool module_present_;  // the file beside the probe, which a fix registers
    View own_;
    std::string server_;
    Diagnosis result_;
};

const char* verdict_word(Verdict v, bool upper)
{
    static const char* const kWords[2][3] = {{"pass", "warn", "fail"}, {"PASS", "WARN", "FAIL"}};
    return kWords[upper][static_cast<int>(v)];
}

}  // namespace

int Diagnosis::count(Verdict v) const
{
    int n = 0;
    for (const Check& c : checks) n += c.status == v;
    return n;
}

Diagnosis diagnose(const std::string& module_path) { return Diagnoser(module_path).run(); }

std::string as_text(const Diagnosis& d)
{
    std::string out = "diagnosis for " + bits_text(machine::own_view().bits) + " hosts\n";
    for (const Check& c : d.checks) {
        out += std::string(verdict_word(c.status, true)) + "  " + c.check + ": " + c.detail + "\n";
        if (!c.fix.empty()) out += "      fix: " + c.fix + "\n";
    }
    const std::string counts =
        std::to_string(d.checks.size()) + " checks, " + std::to_string(d.failed()) + " failed, " +
        std::to_string(d.warnings()) + (d.warnings() == 1 ? " warning" : " warnings");
    out += d.failed() == 0 ? "all checks passed (" + counts + ")\n" : counts + "\n";
    return out;
}

std::string as_json(const Diagnosis& d)
{
    std::string out = "{\"checks\": [";
    for (std::size_t i = 0; i < d.checks.size(); ++i) {
        const Check& c = d.checks[i];
        out += std::string(i ? ",\n  " : "\n  ") + "{\"check\": " + json_string(c.check) +
               ", \"status\": \"" + verdict_word(c.status, false) +
               "\", \"detail\": " + json_string(c.detail) + ", \"fix\": " + json_string(c.fix) +
               "}";
    }
    return out + "\n], \"failed\": " + std::to_string(d.failed()) +
           ", \"warnings\": " + std::to_string(d.warnings()) + "}\n";
}

}  // namespace probe
