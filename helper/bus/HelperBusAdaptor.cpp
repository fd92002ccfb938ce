#include "helper/bus/HelperBusAdaptor.h"

#include <memory>
#include <optional>
#include <utility>

#include "protocol/WireFormat.h"

namespace mavu::helper {
namespace {

const char kAccessDenied[] = "org.freedesktop.DBus.Error.AccessDenied";
const char kAccessDeniedText[] = "This program is not allowed to talk to the MAVU helper.";

sdbus::Error accessDenied() {
    return sdbus::Error(kAccessDenied, kAccessDeniedText);
}

// sdbus::Result is move-only and the service's replies are std::functions: share it.
template <class Result>
std::shared_ptr<Result> keep(Result&& result) {
    return std::make_shared<Result>(std::move(result));
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

bool HelperBusAdaptor::callerAdmitted() {
    const sdbus::Message* call = getObject().getCurrentlyProcessedMessage();
    if (!call) {
        return false;
    }
    return gate_.admits(call->getSender(), [call]() -> std::optional<pid_t> {
        try {
            return call->getCredsPid();
        } catch (const sdbus::Error&) {
            return std::nullopt;
        }
    });
}

protocol::MessageReply HelperBusAdaptor::messageReply(MessageResult&& result) {
    return [reply = keep(std::move(result))](bool success, std::optional<std::string> message) {
        reply->returnResults(success, protocol::toWire(message));
    };
}

void HelperBusAdaptor::Arm(MessageResult&& result, double durationSeconds,
                           bool hasExternalDisplay) {
    if (!callerAdmitted()) {
        result.returnError(accessDenied());
        return;
    }
    service_.armWithDurationSeconds(durationSeconds, hasExternalDisplay,
                                    messageReply(std::move(result)));
}

void HelperBusAdaptor::Disarm(MessageResult&& result) {
    if (!callerAdmitted()) {
        result.returnError(accessDenied());
        return;
    }
    service_.disarm(messageReply(std::move(result)));
}

void HelperBusAdaptor::Heartbeat(MessageResult&& result, bool hasExternalDisplay) {
    if (!callerAdmitted()) {
        result.returnError(accessDenied());
        return;
    }
    service_.heartbeat(hasExternalDisplay, messageReply(std::move(result)));
}

void HelperBusAdaptor::ForceSafeOff(sdbus::Result<>&& result) {
    if (!callerAdmitted()) {
        result.returnError(accessDenied());
        return;
    }
    service_.forceSafeOff([reply = keep(std::move(result))] { reply->returnResults(); });
}

void HelperBusAdaptor::Status(
    sdbus::Result<bool, bool, bool, double, std::vector<std::string>>&& result) {
    if (!callerAdmitted()) {
        result.returnError(accessDenied());
        return;
    }
    service_.status([reply = keep(std::move(result))](protocol::HelperStatus status) {
        reply->returnResults(status.armed, status.lidClosed, status.activeHold,
                             status.durationSeconds, protocol::toWire(status.message));
    });
}

std::tuple<std::string, std::string> HelperBusAdaptor::HelperVersion() {
    if (!callerAdmitted()) {
        throw accessDenied();
    }
    // The service answers the version before returning; a version it did not give counts
    // as unreadable rather than leaving the caller waiting.
    auto answer = std::make_shared<std::optional<protocol::HelperVersion>>();
    service_.helperVersion([answer](protocol::HelperVersion version) { *answer = version; });
    const protocol::HelperVersion version = answer->value_or(protocol::HelperVersion{"?", "?"});
    return {version.shortVersion, version.build};
}

}  // namespace mavu::helper
