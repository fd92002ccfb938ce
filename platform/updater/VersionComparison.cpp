#include "platform/updater/VersionComparison.h"

#include <cctype>
#include <string>
#include <vector>

namespace mavu::updater {
namespace {

struct Part {
    bool numeric;
    std::string text;  // digits without leading zeros, or lower-case letters
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isLetter(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

std::vector<Part> split(std::string_view version) {
    std::vector<Part> parts;
    std::size_t i = 0;
    while (i < version.size()) {
        const bool digits = isDigit(version[i]);
        if (!digits && !isLetter(version[i])) {
            ++i;
            continue;
        }
        std::string text;
        for (; i < version.size() && (digits ? isDigit(version[i]) : isLetter(version[i])); ++i) {
            if (digits && text.empty() && version[i] == '0') {
                continue;
            }
            text.push_back(
                digits ? version[i]
                       : static_cast<char>(std::tolower(static_cast<unsigned char>(version[i]))));
        }
        parts.push_back({digits, std::move(text)});
    }
    return parts;
}

std::weak_ordering compareText(const std::string& a, const std::string& b) {
    const int c = a.compare(b);
    return c < 0 ? std::weak_ordering::less
                 : (c > 0 ? std::weak_ordering::greater : std::weak_ordering::equivalent);
}

std::weak_ordering compareParts(const Part& a, const Part& b) {
    if (a.numeric != b.numeric) {
        // A number where the other has letters is the later release: 1.0.1 after 1.0b1.
        return a.numeric ? std::weak_ordering::greater : std::weak_ordering::less;
    }
    if (a.numeric && a.text.size() != b.text.size()) {
        return a.text.size() <=> b.text.size();
    }
    return compareText(a.text, b.text);
}

// How the longer version compares with its own prefix: zeros add nothing, a non-zero
// number makes it later, letters make it a pre-release of the prefix.
std::weak_ordering compareTail(const std::vector<Part>& parts, std::size_t from) {
    for (std::size_t i = from; i < parts.size(); ++i) {
        if (!parts[i].numeric) {
            return std::weak_ordering::less;
        }
        if (!parts[i].text.empty()) {
            return std::weak_ordering::greater;
        }
    }
    return std::weak_ordering::equivalent;
}

}  // namespace

std::weak_ordering compareVersions(std::string_view a, std::string_view b) {
    const std::vector<Part> left = split(a);
    const std::vector<Part> right = split(b);
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (const auto order = compareParts(left[i], right[i]); order != 0) {
            return order;
        }
    }
    if (left.size() >= right.size()) {
        return compareTail(left, common);
    }
    return 0 <=> compareTail(right, common);
}

}  // namespace mavu::updater
