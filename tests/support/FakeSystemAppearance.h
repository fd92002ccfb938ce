#pragma once

#include <utility>

#include "platform/appearance/SystemAppearance.h"

namespace mavu::testing {

// The desktop's scheme, switched by the test.
class FakeSystemAppearance final : public appearance::SystemAppearance {
  public:
    explicit FakeSystemAppearance(appearance::ColorScheme scheme) : scheme_(scheme) {}
    appearance::ColorScheme current() const override { return scheme_; }
    void setChangeHandler(ChangeHandler handler) override { handler_ = std::move(handler); }
    void set(appearance::ColorScheme scheme) {
        scheme_ = scheme;
        if (handler_) {
            handler_(scheme);
        }
    }

  private:
    appearance::ColorScheme scheme_;
    ChangeHandler handler_;
};

}  // namespace mavu::testing
