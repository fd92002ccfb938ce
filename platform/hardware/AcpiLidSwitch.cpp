#include "platform/hardware/AcpiLidSwitch.h"

#include <algorithm>
#include <string_view>

#include "platform/hardware/SysfsValue.h"

namespace mavu::hardware {

std::optional<bool> AcpiLidSwitch::closed() {
    const auto text = readSysfsText(stateFile_);
    constexpr std::string_view key = "state:";
    if (!text || !text->starts_with(key)) {
        return std::nullopt;
    }
    std::string_view value = std::string_view(*text).substr(key.size());
    value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
    if (value == "closed") {
        return true;
    }
    if (value == "open") {
        return false;
    }
    return std::nullopt;
}

}  // namespace mavu::hardware
