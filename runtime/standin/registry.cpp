// The stand-in registry: a map from folded full key paths to keys, each with
// its values, under one lock.
#include "runtime/standin/registry.h"

#include "runtime/ascii_case.h"

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

struct HKEY__ {
    std::u16string path;  // folded full path, e.g. u"HKEY_CLASSES_ROOT\\CLSID"
    unsigned long long key_id;
    REGSAM access;
};

namespace rt::standin {
namespace {

struct Value {
    std::u16string name;  // as first written
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::u16string name;  // last component, as created
    unsigned long long id = 0;
    std::map<std::u16string, Value> values;  // by folded name
};

using Keys = std::map<std::u16string, Key>;  // by folded full path; roots are implicit

struct Registry {
    std::mutex lock;
    Keys keys;
    unsigned long long next_id = 1;
#ifdef ORVANTA_TEST_HOOKS
    long fail_countdown = 0;
    LSTATUS fail_status = ERROR_SUCCESS;
    long changes_seen = 0;
#endif
};

Registry& registry()
{
    static Registry r;
    return r;
}

std::u16string folded(std::u16string text)
{
    for (char16_t& c : text) c = static_cast<char16_t>(ascii_upper(c));
    return text;
}

// The folded path of a predefined root, or null for any other handle.
const char16_t* root_path(HKEY h)
{
    if (h == HKEY_CLASSES_ROOT) return u"HKEY_CLASSES_ROOT";
    if (h == HKEY_CURRENT_USER) return u"HKEY_CURRENT_USER";
    if (h == HKEY_LOCAL_MACHINE) return u"HKEY_LOCAL_MACHINE";
    return nullptr;
}

constexpr unsigned long long kRootId = 0;

// Splits a subkey path into its components, and gives the folded path of
// the key they name below `base`; false for an empty component (a leading,
// trailing or doubled separator).
bool split(const WCHAR* sub, const std::u16string& base, std::vector<std::u16string>& parts,
           std::u16string& path)
{
    path = base;
    if (!sub || !*sub) return true;
    std::u16string part;
    for (const WCHAR* p = sub;; ++p) {
        if (*p == u'\\' || *p == 0) {
            if (part.empty()) return false;
            path += u'\\' + folded(part);
            parts.push_back(part);
            part.clear();
            if (*p == 0) return true;
        } else {
            part += *p;
        }
    }
}

// A change to the registry is about to be made: in test builds, counted,
// and the armed failure if due.
LSTATUS change_allowed([[maybe_unused]] Registry& r)
{
#ifdef ORVANTA_TEST_HOOKS
    ++r.changes_seen;
    if (r.fail_countdown > 0 && --r.fail_countdown == 0) return r.fail_status;
#endif
    return ERROR_SUCCESS;
}

// The keys below the key at `path`: those whose paths begin with its path
// and a separator, which sort before its path and the unit after one.
std::pair<Keys::iterator, Keys::iterator> keys_below(Registry& r, const std::u16string& path)
{
    static_assert(u']' == u'\\' + 1);
    return {r.keys.lower_bound(path + u'\\'), r.keys.lower_bound(path + u']')};
}

// Copies a name into a caller's buffer of *count characters; on success
// *count is the length without the terminator.
LSTATUS copy_name(const std::u16string& name, WCHAR* out, DWORD* count)
{
    if (!out || !count) return ERROR_INVALID_PARAMETER;
    if (name.size() + 1 > *count) return ERROR_MORE_DATA;
    std::memcpy(out, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
    *count = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

LSTATUS copy_data(const Value& v, DWORD* type, BYTE* data, DWORD* size)
{
    if (data && !size) return ERROR_INVALID_PARAMETER;
    if (type) *type = v.type;
    if (!size) return ERROR_SUCCESS;
    const DWORD needed = static_cast<DWORD>(v.data.size());
    if (data && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data && needed) std::memcpy(data, v.data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

// The body, under the registry's lock, for the key a handle stands for; a
// handle that stands for nothing (any longer) answers its status without the
// body. No exception leaves the registry's functions: exhausted memory is
// the platform's status for it.
template <class Body>
LSTATUS with_key(HKEY h, Body&& body) noexcept
{
    try {
        Registry& r = registry();
        std::lock_guard<std::mutex> hold(r.lock);
        if (const char16_t* root = root_path(h))
            return body(r, HKEY__{root, kRootId, KEY_ALL_ACCESS});
        if (!h) return ERROR_INVALID_HANDLE;
        if (h->key_id != kRootId) {  // not a handle of a root itself
            auto it = r.keys.find(h->path);
            if (it == r.keys.end() || it->second.id != h->key_id) return ERROR_KEY_DELETED;
        }
        return body(r, *h);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// RegCreateKeyExW, and RegOpenKeyExW without `create`: a new handle of the
// key `sub` names below the handle's. A key's parents always exist, so the
// key is missing exactly when its last component is.
LSTATUS open_key(HKEY hKey, LPCWSTR sub, REGSAM access, PHKEY out, DWORD* disposition, bool create)
{
    if (!out) return ERROR_INVALID_PARAMETER;
    *out = nullptr;
    return with_key(hKey, [&](Registry& r, const HKEY__& base) -> LSTATUS {
        std::vector<std::u16string> parts;
        std::u16string path;
        if (!split(sub, base.path, parts, path)) return ERROR_BAD_PATHNAME;
        const bool missing = !parts.empty() && r.keys.find(path) == r.keys.end();
        if (missing) {
            if (!create) return ERROR_FILE_NOT_FOUND;
            if (!(base.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
            if (LSTATUS failed = change_allowed(r)) return failed;
            std::u16string along = base.path;
            for (const std::u16string& part : parts) {
                Key& k = r.keys[along += u'\\' + folded(part)];
                if (k.id == 0) k = Key{part, r.next_id++, {}};
            }
        }
        *out = new HKEY__{path, parts.empty() ? base.key_id : r.keys[path].id, access};
        if (disposition) *disposition = missing ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
}

}  // namespace

#ifdef ORVANTA_TEST_HOOKS
void registry_reset()
{
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    r.keys.clear();
}

void fail_registry_change_after(long n, LSTATUS status)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    r.fail_countdown = n > 0 ? n : 0;
    r.fail_status = status;
    r.changes_seen = 0;
}

long registry_changes_seen()
{
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    return r.changes_seen;
}
#endif

}  // namespace rt::standin

using namespace rt::standin;

extern "C" {

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                        LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition)
{
    return open_key(hKey, lpSubKey, samDesired, phkResult, lpdwDisposition, true);
}

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    return open_key(hKey, lpSubKey, samDesired, phkResult, nullptr, false);
}

LSTATUS RegCloseKey(HKEY hKey)
{
    if (root_path(hKey)) return ERROR_SUCCESS;
    if (!hKey) return ERROR_INVALID_HANDLE;
    delete hKey;
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                       DWORD cbData)
{
    if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
    return with_key(hKey, [&](Registry& r, const HKEY__& base) -> LSTATUS {
        if (!(base.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        auto it = r.keys.find(base.path);
        if (it == r.keys.end()) return ERROR_ACCESS_DENIED;  // values of a root itself: not offered
        if (LSTATUS failed = change_allowed(r)) return failed;
        const std::u16string name = lpValueName ? lpValueName : u"";
        Value& v = it->second.values[folded(name)];
        if (v.name.empty()) v.name = name;
        v.type = dwType;
        v.data.assign(lpData, lpData + cbData);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData)
{
    return with_key(hKey, [&](Registry& r, const HKEY__& base) -> LSTATUS {
        if (!(base.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        auto it = r.keys.find(base.path);
        if (it == r.keys.end()) return ERROR_FILE_NOT_FOUND;
        auto v = it->second.values.find(folded(lpValueName ? lpValueName : u""));
        if (v == it->second.values.end()) return ERROR_FILE_NOT_FOUND;
        return copy_data(v->second, lpType, lpData, lpcbData);
    });
}

LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey)
{
    return with_key(hKey, [&](Registry& r, const HKEY__& base) -> LSTATUS {
        std::vector<std::u16string> parts;
        std::u16string path;
        if (!lpSubKey || !split(lpSubKey, base.path, parts, path) || parts.empty())
            return ERROR_INVALID_PARAMETER;
        auto it = r.keys.find(path);
        if (it == r.keys.end()) return ERROR_FILE_NOT_FOUND;
        // The platform deletes only a key without subkeys.
        const auto below = keys_below(r, path);
        if (below.first != below.second) return ERROR_ACCESS_DENIED;
        if (LSTATUS failed = change_allowed(r)) return failed;
        r.keys.erase(it);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey)
{
    return with_key(hKey, [&](Registry& r, const HKEY__& base) -> LSTATUS {
        std::vector<std::u16string> parts;
        std::u16string path;
        if (!split(lpSubKey, base.path, parts, path)) return ERROR_BAD_PATHNAME;
        auto it = r.keys.find(path);
        if (!parts.empty() && it == r.keys.end()) return ERROR_FILE_NOT_FOUND;
        if (LSTATUS failed = change_allowed(r)) return failed;
        const auto below = keys_below(r, path);
        r.keys.erase(below.first, below.second);
        if (it == r.keys.end()) return ERROR_SUCCESS;
        // Without a subkey the key itself stays, emptied of its values.
        if (parts.empty())
            it->second.values.clear();
        else
            r.keys.erase(it);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD,
                      LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    return with_key(hKey, [&](Registry& r, const HKEY__& base) -> LSTATUS {
        if (!(base.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
        // The direct subkeys, in the folded order of their names.
        auto [it, end] = keys_below(r, base.path);
        for (DWORD n = 0;; ++it) {
            if (it == end) return ERROR_NO_MORE_ITEMS;
            if (it->first.find(u'\\', base.path.size() + 1) == std::u16string::npos &&
                n++ == dwIndex)
                break;
        }
        const LSTATUS status = copy_name(it->second.name, lpName, lpcchName);
        if (status != ERROR_SUCCESS) return status;
        if (lpClass && lpcchClass && *lpcchClass > 0) lpClass[0] = 0;
        if (lpcchClass) *lpcchClass = 0;
        if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                      LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    return with_key(hKey, [&](Registry& r, const HKEY__& base) -> LSTATUS {
        if (!(base.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        auto it = r.keys.find(base.path);
        if (it == r.keys.end() || dwIndex >= it->second.values.size()) return ERROR_NO_MORE_ITEMS;
        auto v = it->second.values.begin();
        std::advance(v, dwIndex);
        const LSTATUS status = copy_name(v->second.name, lpValueName, lpcchValueName);
        if (status != ERROR_SUCCESS) return status;
        return copy_data(v->second, lpType, lpData, lpcbData);
    });
}

}  // extern "C"
