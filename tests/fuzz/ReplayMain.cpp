// The replay driver: `mavu_fuzz_replay TARGET DIR` feeds every file in DIR to TARGET once,
// in name order. Built with the normal compiler, so `make test` keeps trying every input
// a fuzzer ever kept, under the sanitizers of the build it runs in, without clang.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzTarget.h"

namespace mavu::fuzz {
namespace {

std::map<std::string, Target, std::less<>>& targets() {
    static std::map<std::string, Target, std::less<>> known;
    return known;
}

}  // namespace

Registration::Registration(const char* name, Target target) {
    targets().emplace(name, target);
}

}  // namespace mavu::fuzz

int main(int argc, char** argv) {
    using mavu::fuzz::targets;
    if (argc != 3 || !targets().contains(argv[1])) {
        std::cerr << "usage: mavu_fuzz_replay TARGET CORPUS_DIR\ntargets:";
        for (const auto& [name, target] : targets()) {
            std::cerr << " " << name;
        }
        std::cerr << "\n";
        return 64;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[2])) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    // An empty or missing corpus would pass without trying anything.
    if (files.empty()) {
        std::cerr << "mavu_fuzz_replay: no inputs in " << argv[2] << "\n";
        return 1;
    }
    const auto target = targets().find(argv[1])->second;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        target(bytes);
    }
    std::cout << argv[1] << ": " << files.size() << " inputs replayed\n";
    return 0;
}
