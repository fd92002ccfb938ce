#include "app/model/AppearancePreference.h"

namespace mavu::app {

std::string_view rawValue(AppearancePreference preference) {
    switch (preference) {
        case AppearancePreference::system:
            return "System";
        case AppearancePreference::light:
            return "Light";
        case AppearancePreference::dark:
            return "Dark";
    }
    return "System";
}

std::optional<AppearancePreference> appearancePreferenceFromRawValue(std::string_view raw) {
    for (const AppearancePreference preference : allAppearancePreferences) {
        if (rawValue(preference) == raw) {
            return preference;
        }
    }
    return std::nullopt;
}

}  // namespace mavu::app
