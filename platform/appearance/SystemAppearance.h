#pragma once

#include <functional>
#include <memory>

namespace mavu::appearance {

enum class ColorScheme { light, dark };

// The desktop's light or dark preference. Lives on the main thread; the change handler
// runs there after every change of current(), never from inside setChangeHandler().
class SystemAppearance {
  public:
    using ChangeHandler = std::function<void(ColorScheme)>;

    virtual ~SystemAppearance() = default;
    virtual ColorScheme current() const = 0;
    // Replaces the handler given before; an empty one stops the reports.
    virtual void setChangeHandler(ChangeHandler handler) = 0;
};

// The Linux backend: the XDG desktop portal's "color-scheme" where the portal states a
// preference, else the lightness of the Qt palette. Needs a QGuiApplication.
std::unique_ptr<SystemAppearance> makeDesktopAppearance();

}  // namespace mavu::appearance
