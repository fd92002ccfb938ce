#include "helper/bus/HelperBusAdaptor.h"

#include <optional>
#include <utility>

#include "protocol/WireFormat.h"

namespace mavu::helper {
namespace {

const char kAccessDenied[] = "org.freedesktop.DBus.Error.AccessDenied";
const char kAccessDeniedText[] = "This program is not allowed to talk to the MAVU helper.";

using MessageReply = std::shared_ptr<sdbus::Result<bool, std::vector<std::string>>>;

protocol::MessageReply messageReply(MessageReply reply) {
    return [reply = std::move(reply)](bool success, std::optional<std::string> message) {
        reply->returnResults(success, protocol::toWire(message));
    };
}

}  // namespace

HelperBusAdaptor::HelperBusAdaptor(sdbus::IConnection& connection,
                                   protocol::HelperProtocol& service, ConnectionGate& gate)
    : AdaptorInterfaces(connection, protocol::kObjectPath), service_(service), gate_(gate) {
    registerAdaptor();
}

HelperBusAdaptor::~HelperBusAdaptor() {
    unregisterAdaptor();
}

template <class Result, class Serve>
void HelperBusAdaptor::whenAdmitted(Result&& result, Serve serve) {
    // sdbus::Result is move-only and may wait at the gate inside a std::function: share it.
    auto reply = std::make_shared<Result>(std::move(result));
    auto admission = [reply, serve = std::move(serve)](bool admitted) {
        if (admitted) {
            serve(reply);
        } else {
            reply->returnError(sdbus::Error(kAccessDenied, kAccessDeniedText));
        }
    };
    const sdbus::Message* call = getObject().getCurrentlyProcessedMessage();
    if (!call) {
        admission(false);
        return;
    }
    gate_.whenDecided(
        call->getSender(),
        [call]() -> std::optional<pid_t> {
            try {
                return call->getCredsPid();
            } catch (const sdbus::Error&) {
                return std::nullopt;
            }
        },
        std::move(admission));
}

void HelperBusAdaptor::Arm(MessageResult&& result, double durationSeconds,
                           bool hasExternalDisplay) {
    whenAdmitted(std::move(result), [this, durationSeconds, hasExternalDisplay](auto reply) {
        service_.armWithDurationSeconds(durationSeconds, hasExternalDisplay, messageReply(reply));
    });
}

void HelperBusAdaptor::Disarm(MessageResult&& result) {
    whenAdmitted(std::move(result), [this](auto reply) { service_.disarm(messageReply(reply)); });
}

void HelperBusAdaptor::Heartbeat(MessageResult&& result, bool hasExternalDisplay) {
    whenAdmitted(std::move(result), [this, hasExternalDisplay](auto reply) {
        service_.heartbeat(hasExternalDisplay, messageReply(reply));
    });
}

void HelperBusAdaptor::ForceSafeOff(sdbus::Result<>&& result) {
    whenAdmitted(std::move(result), [this](auto reply) {
        service_.forceSafeOff([reply] { reply->returnResults(); });
    });
}

void HelperBusAdaptor::Status(
    sdbus::Result<bool, bool, bool, double, std::vector<std::string>>&& result) {
    whenAdmitted(std::move(result), [this](auto reply) {
        service_.status([reply](protocol::HelperStatus status) {
            reply->returnResults(status.armed, status.lidClosed, status.activeHold,
                                 status.durationSeconds, protocol::toWire(status.message));
        });
    });
}

void HelperBusAdaptor::HelperVersion(sdbus::Result<std::string, std::string>&& result) {
    whenAdmitted(std::move(result), [this](auto reply) {
        // The service answers the version before returning; a version it did not give
        // counts as unreadable rather than leaving the caller waiting.
        auto answer = std::make_shared<std::optional<protocol::HelperVersion>>();
        service_.helperVersion([answer](protocol::HelperVersion version) { *answer = version; });
        const auto version = answer->value_or(protocol::HelperVersion{"?", "?"});
        reply->returnResults(version.shortVersion, version.build);
    });
}

}  // namespace mavu::helper
