#include "fuzz_input.h"

#include <cstdio>
#include <cstdlib>

namespace tolvane::fuzz {

void Broken(const char* what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

}  // namespace tolvane::fuzz
