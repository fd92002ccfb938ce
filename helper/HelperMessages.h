#pragma once

#include <string>

namespace mavu::helper {

// At or below this charge on battery a hold is refused or released.
inline constexpr int kBatteryFloorPercent = 5;

// The sentences the daemon leaves for the app, one per way a hold can end on its own.
inline constexpr char kTimerEndedMessage[] =
    "MAVU's Keep Awake timer ended; the Mac now sleeps normally.";
inline constexpr char kLostContactMessage[] =
    "MAVU restored normal sleep — lost contact with the app.";
inline const std::string kBatteryLowMessage = "MAVU restored normal sleep — battery dropped to " +
                                              std::to_string(kBatteryFloorPercent) + "%.";
inline constexpr char kBatteryUnreadableMessage[] =
    "MAVU restored normal sleep — could not read the battery state.";
inline constexpr char kCriticalTemperatureMessage[] =
    "MAVU restored normal sleep — the Mac reached a critical temperature.";
inline constexpr char kDisableSleepFailedMessage[] = "Could not set disablesleep.";

}  // namespace mavu::helper
