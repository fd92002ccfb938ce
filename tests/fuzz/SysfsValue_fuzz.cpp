// One attribute file under /sys or /proc, read as text and as a number.
#include <algorithm>
#include <string>

#include "platform/hardware/SysfsValue.h"
#include "tests/fuzz/FuzzScratch.h"
#include "tests/fuzz/FuzzTarget.h"

MAVU_FUZZ_TARGET(SysfsValue) {
    const auto file = mavu::fuzz::scratchDir() / "attribute";
    mavu::fuzz::writeBytes(file, input);
    const auto text = mavu::hardware::readSysfsText(file);
    const auto number = mavu::hardware::readSysfsInteger(file);

    // The text is the input without blanks around it.
    constexpr std::string_view kBlanks = " \t\r\n";
    MAVU_FUZZ_CHECK(text && input.find(*text) != std::string_view::npos);
    MAVU_FUZZ_CHECK(text->empty() || (kBlanks.find(text->front()) == kBlanks.npos &&
                                      kBlanks.find(text->back()) == kBlanks.npos));
    // A number is the whole text and nothing else; an optional minus and 1 to 18 digits
    // always are one.
    const std::string_view digits = std::string_view(*text).substr(text->starts_with('-'));
    if (!digits.empty() && digits.size() <= 18 &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        MAVU_FUZZ_CHECK(number && *number == std::stoll(*text));
    } else {
        MAVU_FUZZ_CHECK(!number || *number == std::stoll(*text));
    }
}
