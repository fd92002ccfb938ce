#pragma once

#include <string>
#include <vector>

namespace mavu::alert {

// An application-modal alert: a message, its informative text and buttons in order.
struct Alert {
    std::string messageText;
    std::string informativeText;
    std::vector<std::string> buttons;
    bool operator==(const Alert&) const = default;
};

// Implemented by the interface. Main queue only.
class AlertPresenter {
  public:
    virtual ~AlertPresenter() = default;
    // Brings the app to the front (whatever other application is active), shows alert and
    // returns once the user has dismissed it; the main queue keeps running meanwhile.
    virtual void runModal(const Alert& alert) = 0;
};

}  // namespace mavu::alert
