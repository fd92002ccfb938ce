#include "helper/pmset/BatteryReport.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>
#include <tuple>
#include <vector>

#include "platform/hardware/SysfsValue.h"

namespace mavu::pmset {

namespace {

using hardware::readSysfsInteger;
using hardware::readSysfsText;

struct Battery {
    std::string name;
    long long percent = 0;
    std::string status;  // as the kernel says it: Charging, Discharging, Full, ...
    std::optional<long long> minutesLeft;
};

bool isAdapter(const std::string& type) {
    return type == "Mains" || type.starts_with("USB") || type == "Wireless" || type == "BrickID";
}

// part of whole in percent, 0 to 100, for whatever numbers the files hold.
std::optional<long long> ratio(std::optional<long long> part, std::optional<long long> whole) {
    if (!part || !whole || *whole <= 0) {
        return std::nullopt;
    }
    if (*part <= 0 || *part >= *whole) {
        return *part <= 0 ? 0 : 100;
    }
    // 0 < part < whole: part * 100 fits unless part is huge, and then whole / 100 is far
    // from zero and exact enough.
    return *part <= LLONG_MAX / 100 ? *part * 100 / *whole : *part / (*whole / 100);
}

// Beyond a year (or from numbers a battery cannot have) an estimate means nothing.
constexpr long double kMaxMinutes = 60.0L * 24 * 365;

// Minutes until empty (discharging) or full (charging), from the kernel's own estimate
// or from charge and current flow; energy (µWh, µW) and charge (µAh, µA) both occur.
std::optional<long long> minutesLeft(const std::filesystem::path& supply, bool charging) {
    if (const auto seconds =
            readSysfsInteger(supply / (charging ? "time_to_full_now" : "time_to_empty_now"));
        seconds && *seconds >= 0) {
        return *seconds / 60;
    }
    for (const auto& [amount, full, flow] :
         {std::tuple{"energy_now", "energy_full", "power_now"},
          std::tuple{"charge_now", "charge_full", "current_now"}}) {
        const auto now = readSysfsInteger(supply / amount);
        const auto rate = readSysfsInteger(supply / flow);
        if (!now || !rate || *rate == 0 || *now < 0) {
            continue;
        }
        long long remaining = *now;
        if (charging) {
            const auto capacity = readSysfsInteger(supply / full);
            // A capacity near the most negative number would overflow the difference.
            if (!capacity || __builtin_sub_overflow(*capacity, *now, &remaining)) {
                continue;
            }
            remaining = std::max(0LL, remaining);
        }
        // Some drivers report the flow out of the battery as negative. In floating point,
        // so no value (not even the most negative one) overflows.
        const long double minutes =
            static_cast<long double>(remaining) * 60 / std::fabs(static_cast<long double>(*rate));
        if (minutes > kMaxMinutes) {
            return std::nullopt;
        }
        return static_cast<long long>(minutes);
    }
    return std::nullopt;
}

std::optional<Battery> readBattery(const std::filesystem::path& supply) {
    // Mice, keyboards and headsets report their batteries too; they do not power us.
    if (readSysfsText(supply / "scope") == "Device" || readSysfsInteger(supply / "present") == 0) {
        return std::nullopt;
    }
    auto percent = readSysfsInteger(supply / "capacity");
    if (!percent) {
        percent = ratio(readSysfsInteger(supply / "energy_now"),
                        readSysfsInteger(supply / "energy_full"));
    }
    if (!percent) {
        percent = ratio(readSysfsInteger(supply / "charge_now"),
                        readSysfsInteger(supply / "charge_full"));
    }
    if (!percent) {
        return std::nullopt;
    }
    Battery battery;
    battery.name = supply.filename().string();
    battery.percent = std::clamp(*percent, 0LL, 100LL);
    battery.status = readSysfsText(supply / "status").value_or("Unknown");
    if (battery.status == "Charging" || battery.status == "Discharging") {
        battery.minutesLeft = minutesLeft(supply, battery.status == "Charging");
    }
    return battery;
}

std::string timeText(const std::optional<long long>& minutes) {
    if (!minutes) {
        return "(no estimate)";
    }
    const long long m = *minutes % 60;
    return std::to_string(*minutes / 60) + ":" + (m < 10 ? "0" : "") + std::to_string(m) +
           " remaining";
}

std::string stateText(const Battery& battery, bool onAC) {
    if (battery.status == "Charging") {
        return "charging; " + timeText(battery.minutesLeft);
    }
    if (battery.status == "Discharging") {
        return "discharging; " + timeText(battery.minutesLeft);
    }
    if (battery.status == "Full") {
        return "charged; 0:00 remaining";
    }
    return onAC ? "AC attached; not charging" : "discharging; (no estimate)";
}

// A stable stand-in for the hardware id the original tool prints: seven digits made
// from the battery's name.
std::uint32_t batteryId(const std::string& name) {
    std::uint32_t hash = 2166136261u;
    for (const unsigned char c : name) {
        hash = (hash ^ c) * 16777619u;
    }
    return 1000000u + hash % 9000000u;
}

}  // namespace

std::string batteryReport(const std::filesystem::path& hardwareRoot) {
    bool anyAdapter = false;
    bool adapterOnline = false;
    std::vector<Battery> batteries;
    for (const auto& supply : hardware::listEntries(hardwareRoot / "sys/class/power_supply", "")) {
        const auto type = readSysfsText(supply / "type");
        if (type == "Battery") {
            if (auto battery = readBattery(supply)) {
                batteries.push_back(std::move(*battery));
            }
        } else if (type && isAdapter(*type)) {
            anyAdapter = true;
            adapterOnline = adapterOnline || readSysfsInteger(supply / "online") == 1;
        }
    }
    // Without any adapter to ask, a battery that is not draining tells us it is plugged in.
    const bool onAC =
        adapterOnline ||
        (!anyAdapter && std::any_of(batteries.begin(), batteries.end(), [](const Battery& b) {
            return b.status == "Charging" || b.status == "Full" || b.status == "Not charging";
        }));
    std::string text =
        std::string("Now drawing from '") + (onAC ? "AC Power" : "Battery Power") + "'\n";
    for (std::size_t i = 0; i < batteries.size(); ++i) {
        const Battery& battery = batteries[i];
        text += " -InternalBattery-" + std::to_string(i) +
                " (id=" + std::to_string(batteryId(battery.name)) + ")\t" +
                std::to_string(battery.percent) + "%; " + stateText(battery, onAC) +
                " present: true\n";
    }
    return text;
}

}  // namespace mavu::pmset
