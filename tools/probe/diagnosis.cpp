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

#include <cstdio>

namespace probe {
namespace {

namespace id = orvanta::identity;
using machine::View;

using orvanta::registration::kAutomationMarshaler;

std::string s(std::string_view v) { return std::string(v); }
std::string hex(int n)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", static_cast<unsigned>(n));
    return buf;
}
std::string bits_text(int bits) { return std::to_string(bits) + "-bit"; }
std::string syskind(int bits) { return bits == 64 ? "win64" : "win32"; }
// Registry texts (identifiers, key names) compare without regard to ASCII case.
bool same_text(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (rt::ascii_upper(static_cast<unsigned char>(a[i])) !=
            rt::ascii_upper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
std::string status_text(HRESULT hr)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
    return std::string(buf) + " (" + machine::message_of(hr) + ")";
}

class Diagnoser {
public:
    explicit Diagnoser(const std::string& module_path)
        : module_(module_path), own_(machine::own_view())
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
    // Without the module beside the probe there is nothing to register: the
    // package puts the file and its keys back.
    std::string register_fix() const
    {
        return machine::inspect(module_).exists ? machine::register_command(module_, own_.bits)
                                                : machine::repair_command(own_.bits);
    }
    std::string hosts() const { return bits_text(own_.bits) + " hosts"; }

    bool class_key()
    {
        const std::string key = "CLSID\\" + s(id::kClassId);
        if (!machine::registry_key(own_, key)) {
            add("class key", Verdict::Fail, "HKCR\\" + key + " is absent for " + hosts(),
                register_fix());
            return false;
        }
        add("class key", Verdict::Pass, "HKCR\\" + key);
        std::string threading;
        if (!machine::registry_text(own_, key + "\\InprocServer32", "", server_) ||
            server_.empty()) {
            add("in-process server", Verdict::Fail, "InprocServer32 holds no path", register_fix());
            return false;
        }
        machine::registry_text(own_, key + "\\InprocServer32", "ThreadingModel", threading);
        if (!same_text(threading, "Apartment"))
            add("in-process server", Verdict::Fail,
                server_ + ", ThreadingModel \"" + threading + "\" instead of \"Apartment\"",
                register_fix());
        else
            add("in-process server", Verdict::Pass, server_ + ", ThreadingModel " + threading);
        return true;
    }

    void server_file()
    {
        const machine::FileFacts f = machine::inspect(server_);
        if (!f.exists) {
            // Moved: register it where it is now. Gone: the keys were left behind.
            const bool moved = machine::inspect(module_).exists;
            add("server file", Verdict::Fail,
                server_ + " does not exist" +
                    (moved ? "; the module is now at " + module_
                           : "; the keys were left behind after the file was removed"),
                register_fix());
            return;
        }
        if (f.bits == 0) {
            add("server file", Verdict::Fail, server_ + " is not a module of this platform",
                register_fix());
            return;
        }
        if (f.bits != own_.bits) {
            add("server file", Verdict::Fail,
                server_ + " is a " + bits_text(f.bits) + " module, which " + hosts() +
                    " cannot load",
                register_fix());
            return;
        }
        const std::string file_name = s(id::kModuleName) + ".dll";
        if (f.has_version &&
            (f.version != id::kVersionText || !same_text(f.original_name, file_name))) {
            add("server file", Verdict::Fail,
                server_ + " is not this module: version " + f.version + ", file " +
                    f.original_name + " (expected " + s(id::kVersionText) + ", " + file_name + ")",
                register_fix());
            return;
        }
        add("server file", Verdict::Pass,
            bits_text(f.bits) + " module" +
                (f.has_version ? ", version " + f.version : ", no version block on this platform"));
    }

    void program_id()
    {
        std::string clsid, progid;
        const bool found = machine::registry_text(own_, s(id::kProgramId) + "\\CLSID", "", clsid);
        machine::registry_text(own_, "CLSID\\" + s(id::kClassId) + "\\ProgID", "", progid);
        if (!found)
            add("program identifier", Verdict::Fail, "HKCR\\" + s(id::kProgramId) + " is absent",
                register_fix());
        else if (!same_text(clsid, s(id::kClassId)))
            add("program identifier", Verdict::Fail,
                s(id::kProgramId) + " names class " + clsid + ", not " + s(id::kClassId),
                register_fix());
        else if (!progid.empty() && progid != id::kProgramId)
            add("program identifier", Verdict::Fail, "the class key names " + progid,
                register_fix());
        else
            add("program identifier", Verdict::Pass, s(id::kProgramId) + " -> " + clsid);
    }

    void type_library()
    {
        const std::string key = "TypeLib\\" + s(id::kLibraryId) + "\\" + hex(id::kLibraryMajor) +
                                "." + hex(id::kLibraryMinor) + "\\0\\" + syskind(own_.bits);
        std::string path;
        if (!machine::registry_text(own_, key, "", path)) {
            add("type library", Verdict::Fail, "HKCR\\" + key + " is absent", register_fix());
            return;
        }
        if (!machine::inspect(path).exists) {
            add("type library", Verdict::Fail, "registered at " + path + ", which does not exist",
                register_fix());
            return;
        }
        std::string detail;
        // The library of the module a fix registers, or else of the server file.
        const std::string& embedding =
            machine::inspect(module_).exists || server_.empty() ? module_ : server_;
        if (!machine::same_library(path, embedding, detail)) {
            add("type library", Verdict::Fail, path + ": " + detail, register_fix());
            return;
        }
        add("type library", Verdict::Pass,
            "1.0, locale 0, " + syskind(own_.bits) + ", " + path + (detail.empty() ? "" : ", ") +
                detail);
    }

    void interface_key()
    {
        const std::string key = "Interface\\" + s(id::kDefaultInterfaceId);
        std::string name, marshaler, library;
        if (!machine::registry_text(own_, key, "", name)) {
            add("interface", Verdict::Fail, "HKCR\\" + key + " is absent", register_fix());
            return;
        }
        machine::registry_text(own_, key + "\\ProxyStubClsid32", "", marshaler);
        machine::registry_text(own_, key + "\\TypeLib", "", library);
        if (name != id::kDefaultInterfaceName || !same_text(marshaler, kAutomationMarshaler) ||
            !same_text(library, s(id::kLibraryId)))
            add("interface", Verdict::Fail,
                name + ", marshaler " + marshaler + ", library " + library, register_fix());
        else
            add("interface", Verdict::Pass, name + ", marshaler " + marshaler);
    }

    void host_library()
    {
        const std::string key = "TypeLib\\" + s(id::kHostLibraryId) + "\\" +
                                hex(id::kHostLibraryMajor) + "." + hex(id::kHostLibraryMinor) +
                                "\\0\\" + syskind(own_.bits);
        std::string path;
        if (!machine::registry_text(own_, key, "", path)) {
            add("host library TivDefn", Verdict::Warn,
                "TivDefn " + std::to_string(id::kHostLibraryMajor) + "." +
                    std::to_string(id::kHostLibraryMinor) +
                    " is not registered: the host installs it; late binding answers from the "
                    "module's own table");
            return;
        }
        const std::string reinstall = "reinstall the host application that provides " + path;
        if (!machine::inspect(path).exists) {
            add("host library TivDefn", Verdict::Fail,
                "registered at " + path + ", which does not exist", reinstall);
            return;
        }
        bool checked = false;
        std::string detail;
        const bool ok = machine::host_library_lays_out_server(checked, detail);
        if (checked && !ok)
            add("host library TivDefn", Verdict::Fail, path + ": " + detail, reinstall);
        else
            add("host library TivDefn", Verdict::Pass, path + ", " + detail);
    }

    void other_view(bool have_class)
    {
        View other{};
        if (!machine::other_view(other)) {
            add("other registry view", Verdict::Pass, "this machine has one registry view");
            return;
        }
        const std::string key = "CLSID\\" + s(id::kClassId) + "\\InprocServer32";
        std::string path;
        const bool there = machine::registry_text(other, key, "", path);
        const std::string others = bits_text(other.bits) + " hosts";
        if (!there)
            add("other registry view", Verdict::Pass, "not registered for " + others);
        else if (!have_class)
            add("other registry view", Verdict::Fail,
                "registered for " + others + " only, at " + path, register_fix());
        else if (!same_text(path, server_))
            add("other registry view", Verdict::Warn,
                "also registered for " + others + ", at " + path +
                    "; the type library and program identifier keys are shared by both views");
        else
            add("other registry view", Verdict::Warn,
                "the same file is registered for " + others + ": one of the two cannot load it");
    }

    void creation(bool by_program_id)
    {
        const char* check =
            by_program_id ? "creation by program identifier" : "creation by class identifier";
        std::string guid;
        const HRESULT hr = machine::create_and_call(by_program_id, guid);
        const std::string what = by_program_id ? s(id::kProgramId) : s(id::kClassId);
        if (FAILED(hr)) {
            const bool other_failures = result_.failed() > 0;
            add(check, Verdict::Fail, what + ": " + status_text(hr),
                other_failures ? "mend the failures above" : register_fix());
        } else {
            add(check, Verdict::Pass, what + ", ServerGUID " + guid);
        }
    }

    std::string module_;
    View own_;
    std::string server_;
    Diagnosis result_;
};

const char* verdict_word(Verdict v, bool upper)
{
    switch (v) {
    case Verdict::Pass: return upper ? "PASS" : "pass";
    case Verdict::Warn: return upper ? "WARN" : "warn";
    default: return upper ? "FAIL" : "fail";
    }
}

}  // namespace

int Diagnosis::failed() const
{
    int n = 0;
    for (const Check& c : checks) n += c.status == Verdict::Fail;
    return n;
}

int Diagnosis::warnings() const
{
    int n = 0;
    for (const Check& c : checks) n += c.status == Verdict::Warn;
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
