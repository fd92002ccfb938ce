// One attribute file under /sys or /proc, read as text and as a number.
#include <string>

#include "platform/hardware/SysfsValue.h"
#include "tests/fuzz/FuzzScratch.h"
#include "tests/fuzz/FuzzTarget.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// An optional minus and 1 to 18 digits: always a long long.
bool isSmallDecimal(std::string_view text) {
    if (text.starts_with('-')) {
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 18) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

MAVU_FUZZ_TARGET(SysfsValue) {
    const auto file = mavu::fuzz::scratchDir() / "attribute";
    mavu::fuzz::writeBytes(file, input);
    const auto text = mavu::hardware::readSysfsText(file);
    const auto number = mavu::hardware::readSysfsInteger(file);

    MAVU_FUZZ_CHECK(text.has_value());
    MAVU_FUZZ_CHECK(text->empty() || (!isBlank(text->front()) && !isBlank(text->back())));
    MAVU_FUZZ_CHECK(input.find(*text) != std::string_view::npos);
    if (number) {
        // A number is the whole text and nothing else.
        const bool negative = text->starts_with('-');
        MAVU_FUZZ_CHECK(negative == (*number < 0) || *number == 0);
        MAVU_FUZZ_CHECK(text->find_first_not_of("-0123456789") == std::string::npos);
    }
    if (isSmallDecimal(*text)) {
        MAVU_FUZZ_CHECK(number && std::to_string(*number) == std::to_string(std::stoll(*text)));
    }
}
