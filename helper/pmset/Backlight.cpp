#include "helper/pmset/Backlight.h"

#include <fcntl.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "helper/pmset/RuntimeFiles.h"
#include "platform/hardware/SysfsValue.h"

namespace mavu::pmset {

namespace {

// FB_BLANK_POWERDOWN: the backlight is off.
constexpr long long kPoweredDown = 4;
constexpr char kRecordName[] = "backlight";

using Remembered = std::map<std::string, long long>;

bool isDeviceName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

std::filesystem::path powerFile(const ToolPaths& paths, const std::string& device) {
    return paths.hardwareRoot / "sys/class/backlight" / device / "bl_power";
}

Remembered readRemembered(const std::filesystem::path& file) {
    Remembered remembered;
    std::istringstream lines(hardware::readSysfsText(file).value_or(""));
    std::string device;
    long long before = 0;
    while (lines >> device >> before) {
        if (isDeviceName(device)) {
            remembered.emplace(device, before);
        }
    }
    return remembered;
}

std::string format(const Remembered& remembered) {
    std::string text;
    for (const auto& [device, before] : remembered) {
        text += device + " " + std::to_string(before) + "\n";
    }
    return text;
}

bool writePower(const std::filesystem::path& file, long long value) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const std::string text = std::to_string(value) + "\n";
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && written;
}

}  // namespace

bool switchBacklightsOff(const ToolPaths& paths) {
    const auto recordFile = paths.runtimeDir / kRecordName;
    Remembered remembered = readRemembered(recordFile);
    std::vector<std::string> lit;
    for (const auto& device :
         hardware::listEntries(paths.hardwareRoot / "sys/class/backlight", "")) {
        const std::string name = device.filename().string();
        const auto power = hardware::readSysfsInteger(powerFile(paths, name));
        if (power && *power != kPoweredDown) {
            lit.push_back(name);
            // A panel already remembered keeps the value from before we first touched it.
            remembered.emplace(name, *power);
        }
    }
    if (lit.empty()) {
        return true;
    }
    // Remember first: a panel left dark by a crash here is still turned back on later.
    bool ok = writeFileAtomically(recordFile, format(remembered));
    for (const auto& name : lit) {
        ok = writePower(powerFile(paths, name), kPoweredDown) && ok;
    }
    return ok;
}

bool restoreBacklights(const ToolPaths& paths) {
    const auto recordFile = paths.runtimeDir / kRecordName;
    bool ok = true;
    for (const auto& [name, before] : readRemembered(recordFile)) {
        const auto file = powerFile(paths, name);
        // Someone may have switched it on (or changed it) meanwhile; that choice stands.
        if (hardware::readSysfsInteger(file) == kPoweredDown) {
            ok = writePower(file, before) && ok;
        }
    }
    std::error_code ignored;
    std::filesystem::remove(recordFile, ignored);
    return ok;
}

}  // namespace mavu::pmset
