#include "helper/bus/DaemonOptions.h"

#include <array>
#include <utility>

namespace mavu::helper {
namespace {

struct Option {
    const char* name;
    std::string DaemonOptions::*field;
};

const std::array<Option, 4> kOptions{{
    {"--anchor", &DaemonOptions::anchor},
    {"--pmset", &DaemonOptions::pmset},
    {"--hardware-root", &DaemonOptions::hardwareRoot},
    {"--verifier", &DaemonOptions::verifier},
}};

}  // namespace

std::variant<DaemonOptions, OptionsError> parseDaemonOptions(const std::vector<std::string>& args,
                                                             DaemonOptions defaults) {
    DaemonOptions options = std::move(defaults);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const Option* matched = nullptr;
        std::string value;
        bool haveValue = false;
        for (const Option& option : kOptions) {
            const std::string name = option.name;
            if (arg == name) {
                matched = &option;
                if (i + 1 < args.size()) {
                    value = args[++i];
                    haveValue = true;
                }
                break;
            }
            if (arg.rfind(name + "=", 0) == 0) {
                matched = &option;
                value = arg.substr(name.size() + 1);
                haveValue = true;
                break;
            }
        }
        if (!matched) {
            return OptionsError{"Unknown option " + arg + "."};
        }
        if (!haveValue || value.empty()) {
            return OptionsError{std::string("The option ") + matched->name + " needs a value."};
        }
        options.*(matched->field) = value;
    }
    return options;
}

}  // namespace mavu::helper
