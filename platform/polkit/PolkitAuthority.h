#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/polkit/Authority.h"

namespace mavu::polkit {

// Asks polkit (org.freedesktop.PolicyKit1 on the system bus) with CheckAuthorization
// whether the subject "system-bus-name" holds the action, without user interaction; polkit
// itself finds the user and session behind the name. Refused when polkit says no, wants
// a password, is not running or does not answer in time. The call goes out on the given
// connection, whose event loop delivers the answer; the connection must outlive this.
class PolkitAuthority final : public Authority {
  public:
    PolkitAuthority(sdbus::IConnection& connection, std::string action,
                    std::chrono::milliseconds timeout);

    void checkAuthorization(const std::string& busName, Answer answer) override;

  private:
    std::unique_ptr<sdbus::IProxy> proxy_;
    const std::string action_;
    const std::chrono::milliseconds timeout_;
};

}  // namespace mavu::polkit
