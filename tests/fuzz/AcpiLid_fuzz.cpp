// The ACPI lid button's state file.
#include <string>

#include "platform/hardware/AcpiLidSwitch.h"
#include "tests/fuzz/FuzzScratch.h"
#include "tests/fuzz/FuzzTarget.h"

namespace {

std::optional<bool> lidClosed(std::string_view stateFile) {
    const auto file = mavu::fuzz::scratchDir() / "state";
    mavu::fuzz::writeBytes(file, stateFile);
    return mavu::hardware::AcpiLidSwitch(file).closed();
}

}  // namespace

MAVU_FUZZ_TARGET(AcpiLid) {
    const auto closed = lidClosed(input);
    if (closed) {
        // Only a file that says so gives an answer.
        MAVU_FUZZ_CHECK(input.find("state:") != std::string_view::npos);
        MAVU_FUZZ_CHECK(input.find(*closed ? "closed" : "open") != std::string_view::npos);
    }
    // The kernel ends the line with a newline, or does not: the answer is the same.
    MAVU_FUZZ_CHECK(lidClosed(std::string(input) + "\n") == closed || input.size() >= 4095);
}
