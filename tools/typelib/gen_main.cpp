// orvanta-typelib-gen --target win32|win64 OUTPUT
// Writes the module's compiled type library, for embedding as a resource.
#include "msft_writer.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: orvanta-typelib-gen --target win32|win64 OUTPUT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || std::strcmp(argv[1], "--target") != 0) return usage();
    const bool win32 = std::strcmp(argv[2], "win32") == 0;
    if (!win32 && std::strcmp(argv[2], "win64") != 0) return usage();
    const tlb::Target target = win32 ? tlb::Target::Win32 : tlb::Target::Win64;
    const std::string path = argv[3];

    try {
        const std::vector<uint8_t> image = tlb::build_module_typelib(target);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()),
                  static_cast<std::streamsize>(image.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "orvanta-typelib-gen: cannot write %s\n", path.c_str());
            std::remove(path.c_str());  // leave no truncated file for the build to pick up
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvanta-typelib-gen: %s\n", e.what());
        return 1;
    }
    return 0;
}
