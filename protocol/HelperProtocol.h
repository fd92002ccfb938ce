#pragma once

#include <functional>
#include <optional>
#include <string>

namespace mavu::protocol {

// Names both programs and the packaging agree on.
inline constexpr char kBusName[] = "group.com.norvel.mavu.helper";
inline constexpr char kObjectPath[] = "/group/com/norvel/mavu/helper";
inline constexpr char kInterface[] = "group.com.norvel.mavu.helper.MAVUHelperProtocol";
inline constexpr char kServicePlistName[] = "group.com.norvel.mavu.helper.plist";
inline constexpr char kServiceUnit[] = "group.com.norvel.mavu.helper.service";

struct HelperStatus {
    bool armed = false;
    bool lidClosed = false;
    bool activeHold = false;
    double durationSeconds = 0;
    std::optional<std::string> message;
};

struct HelperVersion {
    std::string shortVersion;
    std::string build;
};

using MessageReply = std::function<void(bool success, std::optional<std::string> message)>;
using EmptyReply = std::function<void()>;
using StatusReply = std::function<void(HelperStatus)>;
using VersionReply = std::function<void(HelperVersion)>;

// The daemon's six operations. Every one answers through its reply exactly once; the
// daemon never calls the app. The bus members are declared in
// group.com.norvel.mavu.helper.xml beside this file, in the same order.
class HelperProtocol {
  public:
    virtual ~HelperProtocol() = default;

    // Arm(d durationSeconds, b hasExternalDisplay) -> (b success, as message)
    // "armWithDurationSeconds:hasExternalDisplay:reply:"
    virtual void armWithDurationSeconds(double durationSeconds, bool hasExternalDisplay,
                                        MessageReply reply) = 0;
    // Disarm() -> (b success, as message)
    // "disarmWithReply:"
    virtual void disarm(MessageReply reply) = 0;
    // Heartbeat(b hasExternalDisplay) -> (b success, as message)
    // "heartbeatWithHasExternalDisplay:reply:"
    virtual void heartbeat(bool hasExternalDisplay, MessageReply reply) = 0;
    // ForceSafeOff() -> ()
    // "forceSafeOffWithReply:"
    virtual void forceSafeOff(EmptyReply reply) = 0;
    // Status() -> (b armed, b lidClosed, b activeHold, d durationSeconds, as message)
    // "statusWithReply:"
    virtual void status(StatusReply reply) = 0;
    // HelperVersion() -> (s shortVersion, s build)
    // "helperVersionWithReply:"
    virtual void helperVersion(VersionReply reply) = 0;
};

}  // namespace mavu::protocol
