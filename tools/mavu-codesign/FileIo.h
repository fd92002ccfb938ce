#pragma once

#include <string>

#include "platform/codesign/Result.h"

namespace mavu::tools {

codesign::Result<std::string> readFile(const std::string& path);

// Replaces the file's bytes by writing a sibling and renaming it over the file, so the
// change is all or nothing and works while the program is running. Keeps the mode.
codesign::Result<codesign::Passed> replaceFile(const std::string& path, const std::string& bytes);

}  // namespace mavu::tools
