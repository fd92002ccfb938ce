#pragma once

#include <string>

namespace mavu::notify {

// One user notification, delivered at once, without sound.
struct Notification {
    std::string title;
    std::string body;
    bool operator==(const Notification&) const = default;
};

// Posts user notifications. Every post is a new notification (none replaces an earlier
// one). post() never blocks its caller and has no result: a missing notification server
// costs a log line, nothing else. Main queue only.
class Notifier {
  public:
    virtual ~Notifier() = default;
    virtual void post(Notification notification) = 0;
};

}  // namespace mavu::notify
