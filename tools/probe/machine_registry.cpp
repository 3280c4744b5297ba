// Registry reads of the diagnosis: the platform's functions, or the
// stand-in's with the same names, in the view asked for.
#include "frame/platform_registry.h"
#include "runtime/registry_key.h"
#include "tools/probe/host_module.h"
#include "tools/probe/machine.h"

#include <vector>

namespace probe::machine {
namespace {

std::basic_string<OLECHAR> wide(const std::string& ascii)
{
    return std::basic_string<OLECHAR>(ascii.begin(), ascii.end());
}

rt::RegistryKey open(View view, const std::string& path)
{
    rt::RegistryKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, wide(path).c_str(), 0, KEY_QUERY_VALUE | view.flag,
                      key.put()) != ERROR_SUCCESS)
        return {};
    return key;
}

}  // namespace

bool registry_key(View view, const std::string& key) { return open(view, key).get() != nullptr; }

bool registry_text(View view, const std::string& key, const std::string& name, std::string& out)
{
    out.clear();
    const rt::RegistryKey k = open(view, key);
    if (!k.get()) return false;
    const std::basic_string<OLECHAR> value = wide(name);
    const OLECHAR* value_name = name.empty() ? nullptr : value.c_str();
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(k.get(), value_name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    std::vector<OLECHAR> units(size / sizeof(OLECHAR) + 1, 0);
    if (RegQueryValueExW(k.get(), value_name, nullptr, &type, reinterpret_cast<BYTE*>(units.data()),
                         &size) != ERROR_SUCCESS)
        return false;
    std::size_t n = size / sizeof(OLECHAR);
    while (n > 0 && units[n - 1] == 0) --n;
    out = utf8_of(units.data(), n);
    return true;
}

std::string known_message(HRESULT status)
{
    switch (static_cast<unsigned>(status)) {
    case 0x80040154u: return "Class not registered";
    case 0x800401F3u: return "Invalid class string";
    case 0x8007007Eu: return "The specified module could not be found";
    case 0x800700C1u: return "%1 is not a valid Win32 application";
    case 0x80004002u: return "No such interface supported";
    case 0x80040111u: return "ClassFactory cannot supply requested class";
    case 0x8002801Du: return "Library not registered";
    default: return "";
    }
}

}  // namespace probe::machine
