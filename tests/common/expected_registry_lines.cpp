// expected_registry.h as lines, for the checks of the installer packages
// written as scripts. Built on the fly by them with the native compiler.
//
//   expected-registry-lines MODULE SYSKIND LIBFLAGS
//
// prints, tab-separated and in the header's order:
//   V  key  name  data    a value ("" names the key's default value)
//   K  key                a key that must exist, with or without values
//   T  key                a key tree that holds all of the above
#include "expected_registry.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s MODULE SYSKIND LIBFLAGS\n", argv[0]);
        return 2;
    }
    const expected_registry::Substitutions s{argv[1], argv[2], argv[3]};
    for (const auto& e : expected_registry::kEntries) {
        const std::string key = expected_registry::expand(e.key, s);
        if (e.value_name == nullptr)
            std::printf("K\t%s\n", key.c_str());
        else
            std::printf("V\t%s\t%s\t%s\n", key.c_str(), e.value_name,
                        expected_registry::expand(e.data, s).c_str());
    }
    for (const char* tree : expected_registry::kTrees) std::printf("T\t%s\n", tree);
    return 0;
}
