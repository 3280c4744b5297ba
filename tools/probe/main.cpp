// orvanta-probe [--module PATH] [--json]
// Loads the module as a host does and prints the whole server definition.
#include "definition/module_identity.h"
#include "tools/probe/host_module.h"
#include "tools/probe/server_report.h"

#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#  include <fcntl.h>
#  include <io.h>
#endif

namespace {

const char kUsage[] = "usage: orvanta-probe [--module PATH] [--json]\n";

// The module beside the probe's own executable.
std::string default_module_path(const char* argv0)
{
#ifdef _WIN32
    const std::string name = std::string(orvanta::identity::kModuleName) + ".dll";
#else
    const std::string name = "lib" + std::string(orvanta::identity::kModuleName) + ".so";
#endif
    std::string self = argv0;
    const std::size_t slash = self.find_last_of("/\\");
    return slash == std::string::npos ? std::string("./") + name : self.substr(0, slash + 1) + name;
}

int fail(const probe::StepFailure& f)
{
    std::fprintf(stderr, "orvanta-probe: %s failed with status 0x%08X", f.step.c_str(),
                 static_cast<unsigned>(f.status));
    if (!f.error_record.empty()) std::fprintf(stderr, ": %s", f.error_record.c_str());
    std::fprintf(stderr, "\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string module_path = default_module_path(argv[0]);
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--module") == 0 && i + 1 < argc) {
            module_path = argv[++i];
        } else {
            std::fputs(kUsage, stderr);
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
        probe::HostModule module;
        module.load(module_path);
        IServer* server = module.create_server();
        std::string text;
        try {
            const probe::ServerReport report = probe::read_server(module, server);
            text = json ? probe::as_json(report) : probe::as_table(report);
        } catch (...) {
            server->Release();
            throw;
        }
        server->Release();
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (module.can_unload_now() != S_OK)
            throw probe::StepFailure{"DllCanUnloadNow after releasing everything", S_FALSE, ""};
    } catch (const probe::StepFailure& f) {
        status = fail(f);
    }
#ifdef _WIN32
    CoUninitialize();
#endif
    return status;
}
