#include "platform/polkit/PolkitAuthority.h"

#include <map>
#include <utility>

namespace mavu::polkit {

namespace {

const char kService[] = "org.freedesktop.PolicyKit1";
const char kPath[] = "/org/freedesktop/PolicyKit1/Authority";
const char kInterface[] = "org.freedesktop.PolicyKit1.Authority";
// No authentication dialog: the daemon has no one to show it to.
const std::uint32_t kNoInteraction = 0;

}  // namespace

PolkitAuthority::PolkitAuthority(sdbus::IConnection& connection, std::string action,
                                 std::chrono::milliseconds timeout)
    : proxy_(sdbus::createProxy(connection, kService, kPath)),
      action_(std::move(action)),
      timeout_(timeout) {}

void PolkitAuthority::checkAuthorization(const std::string& busName, Answer answer) {
    using Subject = sdbus::Struct<std::string, std::map<std::string, sdbus::Variant>>;
    try {
        auto call = proxy_->createMethodCall(kInterface, "CheckAuthorization");
        call << Subject("system-bus-name", {{"name", sdbus::Variant(busName)}}) << action_
             << std::map<std::string, std::string>{} << kNoInteraction << std::string();
        proxy_->callMethod(
            call,
            [answer](sdbus::MethodReply& reply, const sdbus::Error* error) {
                bool authorized = false;
                if (error == nullptr) {
                    try {
                        sdbus::Struct<bool, bool, std::map<std::string, std::string>> result;
                        reply >> result;
                        authorized = std::get<0>(result);
                    } catch (const sdbus::Error&) {
                        authorized = false;
                    }
                }
                answer(authorized);
            },
            timeout_);
    } catch (const sdbus::Error&) {
        answer(false);
    }
}

}  // namespace mavu::polkit
