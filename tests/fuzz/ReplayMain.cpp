// `mavu_fuzz_replay TARGET DIR` feeds every file in DIR to TARGET once. Built with the
// normal compiler, so `make test` keeps trying every input a fuzzer ever kept, under the
// sanitizers of the build it runs in.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>

#include "tests/fuzz/FuzzTarget.h"

namespace mavu::fuzz {
namespace {

std::map<std::string, Target>& targets() {
    static std::map<std::string, Target> known;
    return known;
}

}  // namespace

Registration::Registration(const char* name, Target target) {
    targets().emplace(name, target);
}

}  // namespace mavu::fuzz

int main(int argc, char** argv) {
    const auto& targets = mavu::fuzz::targets();
    if (argc != 3 || !targets.contains(argv[1])) {
        std::cerr << "usage: mavu_fuzz_replay TARGET CORPUS_DIR\n";
        return 64;
    }
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(argv[2])) {
        std::ifstream in(entry.path(), std::ios::binary);
        targets.at(argv[1])(std::string{std::istreambuf_iterator<char>(in), {}});
        ++replayed;
    }
    std::cout << argv[1] << ": " << replayed << " inputs replayed\n";
    // An empty corpus would pass without trying anything.
    return replayed > 0 ? 0 : 1;
}
