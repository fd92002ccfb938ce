#include <cstdio>
#include <cstdlib>

#include "platform/process/ProcessExit.h"

namespace mavu::process {

void ImmediateProcessExit::exit(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace mavu::process
