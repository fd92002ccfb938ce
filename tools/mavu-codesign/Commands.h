#pragma once

#include <string>

namespace mavu::tools {

// Each answers the process exit status: 0 done, 1 refused or failed.
int signCommand(const std::string& file, const std::string& identifier,
                const std::string& certificate, const std::string& key, const std::string& chain);
int verifyCommand(const std::string& file, const std::string& anchor,
                  const std::string& requirement);
int showCommand(const std::string& file);

}  // namespace mavu::tools
