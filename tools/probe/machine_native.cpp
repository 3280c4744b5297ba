// The machine without the platform: one registry view (the stand-in's, held
// by the host's process), modules are ELF shared libraries, no type-library
// loader, and creation through the registry as the platform's does it: the
// class's in-process server path, loaded, asked for its class object.
#ifndef _WIN32
#  include "definition/module_identity.h"
#  include "tools/probe/host_module.h"
#  include "tools/probe/machine.h"

#  include <climits>
#  include <cstdio>
#  include <cstdlib>
#  include <sys/stat.h>

namespace probe::machine {
namespace {

namespace id = orvanta::identity;

// The platform's statuses for these failures; the stand-in defines no others.
constexpr HRESULT kInvalidClassString = static_cast<HRESULT>(0x800401F3);
constexpr HRESULT kModuleNotFound = static_cast<HRESULT>(0x8007007E);

std::string real_path(const std::string& path)
{
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

}  // namespace

View own_view() { return {0, static_cast<int>(sizeof(void*) * 8)}; }
bool other_view(View&) { return false; }

FileFacts inspect(const std::string& path)
{
    FileFacts f;
    struct stat st;
    f.exists = stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (!f.exists) return f;
    unsigned char header[18] = {};
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        const std::size_t n = std::fread(header, 1, sizeof header, file);
        std::fclose(file);
        // ELF, a shared object (e_type 3): its class gives the bitness.
        if (n == sizeof header && header[0] == 0x7F && header[1] == 'E' && header[2] == 'L' &&
            header[3] == 'F' && header[16] == 3)
            f.bits = header[4] == 2 ? 64 : header[4] == 1 ? 32 : 0;
    }
    return f;
}

bool same_library(const std::string& path, const std::string& module_path, std::string& detail)
{
    // Without a loader the library is known by the file that embeds it.
    if (real_path(path) == real_path(module_path)) return true;
    detail = "not the module's file " + module_path;
    return false;
}

bool host_library_lays_out_server(bool& checked, std::string& detail)
{
    checked = false;
    detail = "its IServer not read: no type-library loader on this platform";
    return false;
}

HRESULT create_and_call(bool by_program_id, std::string& server_guid)
{
    const View view = own_view();
    std::string clsid = std::string(id::kClassId), path;
    if (by_program_id && !registry_text(view, std::string(id::kProgramId) + "\\CLSID", "", clsid))
        return kInvalidClassString;
    if (!registry_text(view, "CLSID\\" + clsid + "\\InprocServer32", "", path))
        return REGDB_E_CLASSNOTREG;
    try {
        HostModule module;
        module.load(path);
        const Ref<IServer> server = module.create_server();
        RuntimeString guid(module.runtime());
        const HRESULT hr = server->get_ServerGUID(guid.address());
        server_guid = guid.utf8();
        return hr;
    } catch (const LoadFailure&) {
        return kModuleNotFound;
    } catch (const StepFailure& f) {
        return f.status;
    }
}

std::string message_of(HRESULT status)
{
    const std::string known = known_message(status);
    return known.empty() ? "no message for this status on this platform" : known;
}

std::string register_command(const std::string& module_path, int)
{
    return "DllRegisterServer of " + real_path(module_path) + ", in the host's process";
}

std::string repair_command(int) { return "put the module back and call its DllRegisterServer"; }

}  // namespace probe::machine
#endif
