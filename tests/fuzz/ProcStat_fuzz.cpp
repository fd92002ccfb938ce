// A client's /proc/<pid>/stat line, whose command name (field 2) the client chooses: any
// bytes, spaces and parentheses included.
#include <cstring>
#include <string>

#include "platform/clientcheck/ProcStat.h"
#include "tests/fuzz/FuzzTarget.h"

MAVU_FUZZ_TARGET(ProcStat) {
    // The input as a whole line: whatever it gives is a number that stands in it.
    if (const auto parsed = mavu::clientcheck::parseStartTime(input)) {
        MAVU_FUZZ_CHECK(input.find(std::to_string(*parsed)) != std::string_view::npos);
    }

    // The input as a command name in a line the kernel could write: the start time comes
    // back whatever the name holds.
    unsigned long long startTime = 0;
    std::memcpy(&startTime, input.data(), std::min(sizeof startTime, input.size()));
    const std::string_view name = input.substr(std::min(sizeof startTime, input.size()));
    const std::string line = "4242 (" + std::string(name) +
                             ") S 1 4242 4242 0 -1 4194560 100 0 0 0 1 2 0 0 20 0 1 0 " +
                             std::to_string(startTime) + " 1000 100 18446744073709551615\n";
    MAVU_FUZZ_CHECK(mavu::clientcheck::parseStartTime(line) == startTime);
}
