// mavu-codesign: signs a program in place, verifies one, or shows its signature.
#include <algorithm>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "tools/mavu-codesign/Commands.h"

namespace {

constexpr int kUsageError = 2;

int usage() {
    std::cerr << "usage: mavu-codesign sign --identifier ID --cert LEAF.pem --key KEY.pem "
                 "[--chain CHAIN.pem] FILE\n"
                 "       mavu-codesign verify --anchor CA.pem [--requirement TEXT] FILE\n"
                 "       mavu-codesign show FILE\n";
    return kUsageError;
}

struct Arguments {
    std::map<std::string, std::string> options;
    std::vector<std::string> files;
};

// Reads "--name value" pairs among the allowed names and the remaining operands.
bool parse(int argc, char** argv, const std::vector<std::string>& allowed, Arguments& out) {
    for (int i = 2; i < argc; ++i) {
        std::string word = argv[i];
        if (!word.starts_with("--")) {
            out.files.push_back(word);
            continue;
        }
        std::string name = word.substr(2);
        bool known = std::find(allowed.begin(), allowed.end(), name) != allowed.end();
        if (!known || i + 1 == argc || out.options.count(name)) {
            return false;
        }
        out.options[name] = argv[++i];
    }
    return out.files.size() == 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return usage();
    }
    std::string command = argv[1];
    Arguments args;
    if (command == "sign") {
        if (!parse(argc, argv, {"identifier", "cert", "key", "chain"}, args) ||
            !args.options.count("identifier") || !args.options.count("cert") ||
            !args.options.count("key")) {
            return usage();
        }
        return mavu::tools::signCommand(args.files[0], args.options["identifier"],
                                        args.options["cert"], args.options["key"],
                                        args.options["chain"]);
    }
    if (command == "verify") {
        if (!parse(argc, argv, {"anchor", "requirement"}, args) || !args.options.count("anchor")) {
            return usage();
        }
        return mavu::tools::verifyCommand(args.files[0], args.options["anchor"],
                                          args.options["requirement"]);
    }
    if (command == "show") {
        if (!parse(argc, argv, {}, args)) {
            return usage();
        }
        return mavu::tools::showCommand(args.files[0]);
    }
    return usage();
}
