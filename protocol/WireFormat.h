#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mavu::protocol {

// D-Bus has no optional type: an optional string travels as an array of zero or one
// strings.
inline std::vector<std::string> toWire(const std::optional<std::string>& text) {
    if (!text) {
        return {};
    }
    return {*text};
}

// Extra elements from a careless sender are ignored rather than refused.
inline std::optional<std::string> fromWire(const std::vector<std::string>& texts) {
    if (texts.empty()) {
        return std::nullopt;
    }
    return texts.front();
}

}  // namespace mavu::protocol
