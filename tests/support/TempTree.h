#pragma once

#include "tests/support/TempDir.h"

namespace mavu::testing {
using TempTree = TempDir;
}  // namespace mavu::testing
