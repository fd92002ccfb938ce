#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/FuzzTarget.h"

namespace mavu::fuzz {

void invariantBroken(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::abort();
}

}  // namespace mavu::fuzz
