#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace mavu::app {

// How the panels choose light or dark: follow the desktop, or always one of them.
enum class AppearancePreference { system, light, dark };

inline constexpr std::array<AppearancePreference, 3> allAppearancePreferences{
    AppearancePreference::system, AppearancePreference::light, AppearancePreference::dark};

// "System", "Light", "Dark".
std::string_view rawValue(AppearancePreference preference);
// An exact, case-sensitive match; none otherwise.
std::optional<AppearancePreference> appearancePreferenceFromRawValue(std::string_view raw);

}  // namespace mavu::app
