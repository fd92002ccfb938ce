#include "helper/PowerController.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <sstream>

#include "helper/PowerToolArguments.h"
#include "helper/Utf8.h"
#include "platform/log/Log.h"

namespace mavu::helper {
namespace {

constexpr std::string_view kACPower = "AC Power";
constexpr int kUnparsablePercent = 100;

bool containsIgnoringCase(std::string_view text, std::string_view word) {
    const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    return std::search(text.begin(), text.end(), word.begin(), word.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The first match of ([0-9]{1,3})% in text. Every match ends at a percent sign and its
// digits follow on from the previous non-digit, so the first percent sign with a digit
// before it gives the leftmost match: the (up to three) digits right before it.
std::optional<std::string_view> firstPercentage(std::string_view text) {
    for (std::size_t pos = text.find('%'); pos != std::string_view::npos;
         pos = text.find('%', pos + 1)) {
        std::size_t start = pos;
        while (start > 0 && pos - start < 3 && isDigit(text[start - 1])) {
            --start;
        }
        if (start < pos) {
            return text.substr(start, pos - start);
        }
    }
    return std::nullopt;
}

std::optional<BatteryReading> parseBatteryReport(std::string_view report) {
    if (!isValidUtf8(report)) {
        return std::nullopt;
    }
    const auto digits = firstPercentage(report);
    if (!digits) {
        return std::nullopt;
    }
    BatteryReading reading;
    reading.onACPower = containsIgnoringCase(report, kACPower);
    const auto parsed =
        std::from_chars(digits->data(), digits->data() + digits->size(), reading.percent);
    if (parsed.ec != std::errc() || parsed.ptr != digits->data() + digits->size()) {
        reading.percent = kUnparsablePercent;
    }
    return reading;
}

std::string joined(const std::vector<std::string>& arguments) {
    std::string text;
    for (const auto& argument : arguments) {
        text += (text.empty() ? "" : " ") + argument;
    }
    return text;
}

}  // namespace

PowerController::PowerController(process::ProcessRunner& runner, std::string toolPath,
                                 dispatch::Duration timeLimit)
    : runner_(runner), toolPath_(std::move(toolPath)), timeLimit_(timeLimit) {}

process::RunResult PowerController::runTool(const std::vector<std::string>& arguments) {
    auto result = runner_.run(toolPath_, arguments, timeLimit_);
    if (result.timedOut) {
        std::ostringstream line;
        line << "MAVUHelper pmset did not finish within " << dispatch::toSeconds(timeLimit_)
             << " s and was killed: " << joined(arguments);
        log::line(line.str());
    }
    return result;
}

bool PowerController::runPmset(const std::vector<std::string>& arguments) {
    const auto result = runTool(arguments);
    if (!result.launched) {
        log::line("MAVUHelper pmset failed: " + result.launchError);
    }
    return result.succeeded();
}

std::optional<BatteryReading> PowerController::readBattery() {
    const auto result = runTool(pmset::kReadBattery);
    // A killed tool's output may be cut anywhere; it tells nothing reliable.
    if (!result.launched || result.timedOut) {
        return std::nullopt;
    }
    return parseBatteryReport(result.output);
}

}  // namespace mavu::helper
