#pragma once

#include <string>

#include "platform/codesign/Signer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace mavu::codesign::testing {

using mavu::testing::readFile;
using mavu::testing::TempDir;

inline std::string caCert(const std::string& name) {
    return std::string(MAVU_SIGNING_DIR) + "/ca-" + name + "/cert.pem";
}
inline SigningCredentials credentials(const std::string& identity, std::string chain = {}) {
    const std::string dir = std::string(MAVU_SIGNING_DIR) + "/identity-" + identity;
    return {dir + "/cert.pem", dir + "/key.pem", std::move(chain)};
}

}  // namespace mavu::codesign::testing
