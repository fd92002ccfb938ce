#pragma once

#include <functional>
#include <string>

namespace mavu::polkit {

// The action a caller must be authorised for: keeping the machine running with the lid
// closed, which the system otherwise grants only to the active local session.
inline constexpr char kKeepAwakeAction[] = "com.norvel.mavu.keep-awake";

// Decides whether the user behind a bus connection may use the daemon.
class Authority {
  public:
    using Answer = std::function<void(bool authorized)>;
    virtual ~Authority() = default;
    // Asks about the connection with this unique bus name and returns; answer is called
    // once, on any thread, possibly before this returns. No answer means false.
    virtual void checkAuthorization(const std::string& busName, Answer answer) = 0;
};

}  // namespace mavu::polkit
