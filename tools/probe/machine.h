// What the diagnosis asks of the machine beyond the registry: files, the
// registry's views, the platform's creation and its messages, and the
// commands that mend a registration. One implementation per platform.
#pragma once

#include "frame/platform_registry.h"

#include <string>

namespace probe::machine {

// A registry view as the platform's flags select it; 0 is the process's own.
struct View {
    REGSAM flag;
    int bits;  // the hosts that see this view: 32 or 64
};
View own_view();
// False where the machine has a single view (32-bit Windows, the stand-in).
bool other_view(View& view);

// The value of a key below HKEY_CLASSES_ROOT in a view, as UTF-8; false
// when the key or the value is absent.
bool registry_text(View view, const std::string& key, const std::string& name, std::string& out);
bool registry_key(View view, const std::string& key);

struct FileFacts {
    bool exists = false;
    int bits = 0;               // 32 or 64 for a module of this platform; 0 otherwise
    bool has_version = false;   // a version block (Windows modules only)
    std::string version;        // its "FileVersion"
    std::string original_name;  // its "OriginalFilename"
};
FileFacts inspect(const std::string& path);

// Whether the type library in `path` is the one `module_path` embeds: same
// identifier, version and system kind. `detail` says what was found.
bool same_library(const std::string& path, const std::string& module_path, std::string& detail);

// Whether the registered TivDefn 34.2 describes IServer as the module
// implements it, by the acceptance late binding uses. `checked` is false
// where the platform has no type-library loader.
bool host_library_lays_out_server(bool& checked, std::string& detail);

// Creates the class through the platform, by program identifier or by class
// identifier, and calls ServerGUID; its answer in `server_guid`.
HRESULT create_and_call(bool by_program_id, std::string& server_guid);

// The platform's message for a status, in words.
std::string message_of(HRESULT status);
// The platform's words for the statuses creation meets, where the platform
// itself has no text for them; "" for any other.
std::string known_message(HRESULT status);

// Commands, with full paths, that mend a registration of hosts of `bits`.
std::string register_command(const std::string& module_path, int bits);
std::string repair_command(int bits);

}  // namespace probe::machine
