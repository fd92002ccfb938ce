#pragma once

#include <string>
#include <variant>
#include <vector>

namespace mavu::helper {

struct DaemonOptions {
    // The certificate that signed clients must chain to.
    std::string anchor;
    // The power tool the daemon runs.
    std::string pmset;
    // Where the hardware backends and the power tool find proc, sys and dev; "/" on a
    // real machine, a fake tree for demos and tests.
    std::string hardwareRoot = "/";
    // The signature verifier the daemon starts for each new client.
    std::string verifier;
};

struct OptionsError {
    std::string sentence;
};

// --anchor PEM, --pmset PATH, --hardware-root DIR, --verifier PATH (each also as
// --name=value); anything
// else is an error naming it. Values not given keep those of defaults.
std::variant<DaemonOptions, OptionsError> parseDaemonOptions(const std::vector<std::string>& args,
                                                             DaemonOptions defaults);

inline constexpr char kDaemonUsage[] =
    "usage: mavu-helper [--anchor PEM] [--pmset PATH] [--hardware-root DIR] [--verifier PATH]";

}  // namespace mavu::helper
