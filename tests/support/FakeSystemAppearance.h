#pragma once

#include <utility>

#include "platform/appearance/SystemAppearance.h"

namespace mavu::testing {

// The desktop's scheme, switched by the test.
struct FakeSystemAppearance final : appearance::SystemAppearance {
    explicit FakeSystemAppearance(appearance::ColorScheme scheme) : scheme(scheme) {}
    appearance::ColorScheme current() const override { return scheme; }
    void setChangeHandler(ChangeHandler handler) override { changed = std::move(handler); }
    void set(appearance::ColorScheme to) { changed(scheme = to); }

    appearance::ColorScheme scheme;
    ChangeHandler changed = [](appearance::ColorScheme) {};
};

}  // namespace mavu::testing
