// Snapshots of registry trees as sorted lines of text, for comparing the
// registry before and after a change and for comparing it with
// expected_registry.h. Uses only the platform's registry functions (or the
// stand-in's, with the same names), so the same code runs natively and under
// Windows or Wine.
//
// One line per key:   <path>
// One line per value: <path> : <name> = <rendered data>
// where <name> is "@" for the default value, and <rendered data> is "sz:"
// followed by the text for a REG_SZ value holding exactly one terminating
// zero, else the type number and the bytes in hexadecimal (so a missing or
// doubled terminator shows).
#pragma once

#include "tests/common/expected_registry.h"
#include "tools/common/utf8.h"

#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#else
#  include "runtime/standin/registry.h"
#endif

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace registry_snapshot {

using Lines = std::set<std::string>;
using WideText = std::basic_string<WCHAR>;

inline WideText wide(const std::string& utf8)
{
    WideText out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        uint32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<WCHAR>(0xD800 + (c >> 10));
            out += static_cast<WCHAR>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<WCHAR>(c);
        }
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

inline std::string utf8(const WCHAR* units, std::size_t length)
{
    return text::utf8_of(units, length);
}

inline std::string render(DWORD type, const std::vector<BYTE>& data)
{
    const std::size_t units = data.size() / sizeof(WCHAR);
    if (type == REG_SZ && data.size() % sizeof(WCHAR) == 0 && units >= 1) {
        const WCHAR* text = reinterpret_cast<const WCHAR*>(data.data());
        bool one_zero_at_end = text[units - 1] == 0;
        for (std::size_t i = 0; one_zero_at_end && i + 1 < units; ++i)
            if (text[i] == 0) one_zero_at_end = false;
        if (one_zero_at_end) return "sz:" + utf8(text, units - 1);
    }
    static const char digits[] = "0123456789abcdef";
    std::string out = "type " + std::to_string(type) + ":";
    for (BYTE b : data) {
        out += digits[b >> 4];
        out += digits[b & 0xF];
    }
    return out;
}

inline std::string value_line(const std::string& key, const std::string& name,
                              const std::string& rendered)
{
    return key + " : " + (name.empty() ? "@" : name) + " = " + rendered;
}

// Adds the lines of the key `path` (below `root`; "" for the root itself,
// which gets no line of its own) and of everything below it. Returns false
// when something could not be read; a missing key adds nothing.
inline bool add_tree(HKEY root, const std::string& path, Lines& out)
{
    HKEY key = nullptr;
    const WideText wpath = wide(path);
    const LSTATUS opened =
        RegOpenKeyExW(root, path.empty() ? nullptr : wpath.c_str(), 0, KEY_READ, &key);
    if (opened == ERROR_FILE_NOT_FOUND) return true;
    if (opened != ERROR_SUCCESS) return false;
    if (!path.empty()) out.insert(path);

    bool ok = true;
    std::vector<WCHAR> name(16384);
    std::vector<BYTE> data;
    for (DWORD i = 0;; ++i) {
        DWORD name_units = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = 0;
        LSTATUS s = RegEnumValueW(key, i, name.data(), &name_units, nullptr, &type, nullptr, &size);
        if (s == ERROR_NO_MORE_ITEMS) break;
        if (s != ERROR_SUCCESS) {
            ok = false;
            break;
        }
        data.assign(size, 0);
        const std::string value_name = utf8(name.data(), name_units);
        s = RegQueryValueExW(key, wide(value_name).c_str(), nullptr, &type,
                             data.empty() ? nullptr : data.data(), &size);
        if (s != ERROR_SUCCESS) {
            ok = false;
            break;
        }
        data.resize(size);
        out.insert(value_line(path, value_name, render(type, data)));
    }
    std::vector<std::string> children;
    for (DWORD i = 0;; ++i) {
        DWORD name_units = static_cast<DWORD>(name.size());
        const LSTATUS s =
            RegEnumKeyExW(key, i, name.data(), &name_units, nullptr, nullptr, nullptr, nullptr);
        if (s == ERROR_NO_MORE_ITEMS) break;
        if (s != ERROR_SUCCESS) {
            ok = false;
            break;
        }
        children.push_back(utf8(name.data(), name_units));
    }
    RegCloseKey(key);
    for (const std::string& child : children)
        ok = add_tree(root, path.empty() ? child : path + "\\" + child, out) && ok;
    return ok;
}

// The lines of several trees below HKEY_CLASSES_ROOT.
template <class Paths>
Lines classes_trees(const Paths& paths, bool* complete = nullptr)
{
    Lines out;
    bool ok = true;
    for (const char* path : paths) ok = add_tree(HKEY_CLASSES_ROOT, path, out) && ok;
    if (complete) *complete = ok;
    return out;
}

// The lines registration is expected to add, placeholders expanded.
inline Lines expected_lines(const expected_registry::Substitutions& s)
{
    Lines out;
    for (const expected_registry::Entry& e : expected_registry::kEntries) {
        const std::string key = expected_registry::expand(e.key, s);
        out.insert(key);
        if (e.value_name)
            out.insert(value_line(key, e.value_name, "sz:" + expected_registry::expand(e.data, s)));
    }
    return out;
}

// Lines in `a` and not in `b`.
inline Lines minus(const Lines& a, const Lines& b)
{
    Lines out;
    for (const std::string& line : a)
        if (!b.count(line)) out.insert(line);
    return out;
}

}  // namespace registry_snapshot
