#pragma once

#include <optional>

#include "app/model/AppearancePreference.h"
#include "app/system/Observable.h"
#include "app/ui/style/Palette.h"
#include "platform/appearance/SystemAppearance.h"

namespace mavu::ui {

// The scheme a preference asks for: none under System, so the desktop's applies.
inline std::optional<ColorScheme> colorScheme(app::AppearancePreference preference) {
    switch (preference) {
        case app::AppearancePreference::light:
            return ColorScheme::light;
        case app::AppearancePreference::dark:
            return ColorScheme::dark;
        case app::AppearancePreference::system:
            break;
    }
    return std::nullopt;
}

// The scheme a panel is drawn in: the preferred one when the user chose Light or Dark,
// the desktop's own under System.
inline ColorScheme effectiveScheme(std::optional<ColorScheme> preferred, ColorScheme desktop) {
    return preferred.value_or(desktop);
}

// The desktop's scheme as a published field for every panel and the status icon: the
// port's current value, then each of its changes. One per process, on the main thread.
class DesktopScheme {
  public:
    explicit DesktopScheme(std::unique_ptr<appearance::SystemAppearance> source)
        : source_(std::move(source)), scheme_(source_->current()) {
        source_->setChangeHandler([this](ColorScheme scheme) { scheme_.set(scheme); });
    }
    ~DesktopScheme() { source_->setChangeHandler({}); }
    DesktopScheme(const DesktopScheme&) = delete;
    DesktopScheme& operator=(const DesktopScheme&) = delete;

    const app::Observable<ColorScheme>& scheme() const { return scheme_; }

  private:
    std::unique_ptr<appearance::SystemAppearance> source_;
    app::Observable<ColorScheme> scheme_;
};

}  // namespace mavu::ui
