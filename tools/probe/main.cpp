// orvanta-probe [--module PATH] [--json] | --diagnose [--json] | --help | --version
// Loads the module as a host does and prints the whole server definition, or
// diagnoses whether a host can create the class on this machine.
#include "definition/module_identity.h"
#include "tools/probe/diagnosis.h"
#include "tools/probe/host_module.h"
#include "tools/probe/machine.h"
#include "tools/probe/server_report.h"

#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#  include <fcntl.h>
#  include <io.h>
#endif

namespace {

namespace id = orvanta::identity;

const int kBits = static_cast<int>(sizeof(void*) * 8);

void usage(FILE* out)
{
    std::fprintf(out,
                 "usage: orvanta-probe [--module PATH] [--json]\n"
                 "       orvanta-probe --diagnose [--module PATH] [--json]\n"
                 "       orvanta-probe --help | --version\n"
                 "\n"
                 "Loads the %s module (by default the one beside the probe; a PATH without\n"
                 "a slash is a file in the current folder) as a host does, calls every\n"
                 "operation and prints the server definition; --json prints it as JSON.\n"
                 "\n"
                 "--diagnose checks whether a %d-bit host can create the class on this\n"
                 "machine: its registration in both registry views, the files it names, the\n"
                 "type libraries and creation through the platform. One PASS, WARN or FAIL\n"
                 "line per check, with the command that mends each failure; the exit status\n"
                 "is 0 when no check fails. Run it first when a host cannot create the class.\n",
                 std::string(id::kModuleName).c_str(), kBits);
}

#ifdef _WIN32
const char kFolderPrefix[] = ".\\";
std::string module_file_name() { return std::string(id::kModuleName) + ".dll"; }
#else
const char kFolderPrefix[] = "./";
std::string module_file_name() { return "lib" + std::string(id::kModuleName) + ".so"; }
#endif

// The module beside the probe's own executable.
std::string default_module_path(const char* argv0)
{
    const std::string self = argv0;
    const std::size_t slash = self.find_last_of("/\\");
    return slash == std::string::npos ? kFolderPrefix + module_file_name()
                                      : self.substr(0, slash + 1) + module_file_name();
}

// A path, never a name for the loader's search.
std::string as_path(const std::string& value)
{
    return value.find_first_of("/\\") == std::string::npos ? kFolderPrefix + value : value;
}

int fail(const probe::StepFailure& f)
{
    std::fprintf(stderr, "orvanta-probe: %s failed with status 0x%08X", f.step.c_str(),
                 static_cast<unsigned>(f.status));
    if (!f.error_record.empty()) std::fprintf(stderr, ": %s", f.error_record.c_str());
    std::fprintf(stderr, "\n");
    return 1;
}

std::string module_line(const std::string& path)
{
    const probe::machine::FileFacts f = probe::machine::inspect(path);
    return "module: " + path + ", " +
           (f.has_version ? "version " + f.version : std::string("no version block")) + ", " +
           std::to_string(f.bits ? f.bits : kBits) + "-bit\n";
}

int report(const std::string& module_path, bool json)
{
    probe::HostModule module;
    module.load(module_path);
    std::string text;
    {
        const probe::Ref<IServer> server = module.create_server();
        const probe::ServerReport report = probe::read_server(module, server.get());
        text = json ? probe::as_json(report) : module_line(module_path) + probe::as_table(report);
    }
    if (module.can_unload_now() != S_OK)
        throw probe::StepFailure{"DllCanUnloadNow after releasing everything", S_FALSE, ""};
    if (!json) text += "all steps passed\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int diagnose(const std::string& module_path, bool json)
{
    const probe::Diagnosis d = probe::diagnose(module_path);
    const std::string text = json ? probe::as_json(d) : probe::as_text(d);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return d.failed() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string module_path = default_module_path(argv[0]);
    bool json = false, diagnosis = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--diagnose") == 0) {
            diagnosis = true;
        } else if (std::strcmp(argv[i], "--module") == 0 && i + 1 < argc) {
            module_path = as_path(argv[++i]);
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage(stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("orvanta-probe %s (%d.%d.%d.%d), %d-bit\n",
                        std::string(id::kVersionText).c_str(), id::kVersionMajor, id::kVersionMinor,
                        id::kVersionPatch, id::kVersionBuild, kBits);
            return 0;
        } else {
            if (std::strcmp(argv[i], "--module") == 0)
                std::fprintf(stderr, "orvanta-probe: --module needs a PATH\n");
            else
                std::fprintf(stderr, "orvanta-probe: unknown option %s\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }
#ifdef _WIN32
    // Byte-for-byte the same output as the native probe: no CR LF translation.
    _setmode(_fileno(stdout), _O_BINARY);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
#endif
    int status = 0;
    try {
        status = diagnosis ? diagnose(module_path, json) : report(module_path, json);
    } catch (const probe::StepFailure& f) {
        status = fail(f);
    } catch (const probe::LoadFailure& f) {
        std::fprintf(stderr, "orvanta-probe: %s\n", f.message.c_str());
        status = 1;
    }
#ifdef _WIN32
    CoUninitialize();
#endif
    return status;
}
