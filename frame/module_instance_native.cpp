// Where the module lives, without the platform's loader: the shared object
// (or, when the module's code is linked into a program, the program) that
// holds this function.
#ifndef _WIN32
#  include "frame/module_instance.h"

#  include <dlfcn.h>

#  include <climits>
#  include <cstdlib>
#  include <new>
#  include <string>

namespace orvanta {
namespace {

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
PathText utf16_of(const std::string& text)
{
    PathText out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        int extra = lead < 0x80           ? 0
                    : (lead >> 5) == 0x6  ? 1
                    : (lead >> 4) == 0xE  ? 2
                    : (lead >> 3) == 0x1E ? 3
                                          : -1;
        uint32_t c = extra == 0   ? lead
                     : extra == 1 ? (lead & 0x1F)
                     : extra == 2 ? (lead & 0x0F)
                                  : (lead & 0x07);
        bool valid = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size();
        for (int k = 1; valid && k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) valid = false;
            c = (c << 6) | (next & 0x3F);
        }
        if (!valid || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<OLECHAR>(0xD800 + (c >> 10));
            out += static_cast<OLECHAR>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<OLECHAR>(c);
        }
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

}  // namespace

HRESULT module_file_name(PathText& path) noexcept
{
    path.clear();
    try {
        Dl_info info{};
        if (!dladdr(reinterpret_cast<void*>(&module_file_name), &info) || !info.dli_fname)
            return E_FAIL;
        // A program's own name may be given relative to where it was started.
        const std::string name = info.dli_fname;
        const char* file = name.find('/') == std::string::npos ? "/proc/self/exe" : name.c_str();
        char* resolved = realpath(file, nullptr);
        if (!resolved) return E_FAIL;
        const std::string full = resolved;
        std::free(resolved);
        path = utf16_of(full);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace orvanta
#endif
