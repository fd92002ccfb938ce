#include "platform/clientcheck/ProcStat.h"

#include <charconv>

namespace mavu::clientcheck {

std::optional<unsigned long long> parseStartTime(std::string_view statLine) {
    std::size_t close = statLine.rfind(')');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = statLine.substr(close + 1);
    // Field 3 is the first after the name; field 22 is the twentieth.
    constexpr int kFieldsToSkip = 22 - 3;
    std::size_t pos = 0;
    for (int field = 0; field <= kFieldsToSkip; ++field) {
        pos = rest.find_first_not_of(' ', pos);
        if (pos == std::string_view::npos) {
            return std::nullopt;
        }
        std::size_t end = rest.find_first_of(" \n", pos);
        if (end == std::string_view::npos) {
            end = rest.size();
        }
        if (field == kFieldsToSkip) {
            unsigned long long value = 0;
            auto [ptr, ec] = std::from_chars(rest.data() + pos, rest.data() + end, value);
            if (ec != std::errc() || ptr != rest.data() + end) {
                return std::nullopt;
            }
            return value;
        }
        pos = end;
    }
    return std::nullopt;
}

}  // namespace mavu::clientcheck
