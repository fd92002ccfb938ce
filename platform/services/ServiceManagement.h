#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace mavu::services {

// Registration status as the callers interpret it; any other value is unknown.
inline constexpr int kStatusNotRegistered = 0;
inline constexpr int kStatusEnabled = 1;
inline constexpr int kStatusRequiresApproval = 2;
inline constexpr int kStatusNotFound = 3;

// Callers compare these domains; codes are never examined.
inline constexpr char kServiceErrorDomain[] = "SMAppServiceErrorDomain";
inline constexpr char kPosixErrorDomain[] = "NSPOSIXErrorDomain";

struct ServiceError {
    std::string domain;
    std::string localizedDescription;
};

// One registrable service: the daemon, or the app's own login item. Status is read fresh
// at every call.
class AppService {
  public:
    virtual ~AppService() = default;
    virtual int status() = 0;
    // Synchronous; nothing on success.
    virtual std::optional<ServiceError> registerService() = 0;
    virtual std::optional<ServiceError> unregisterService() = 0;
    // Completes exactly once, on the main queue, with nothing on success.
    virtual void unregisterService(std::function<void(std::optional<ServiceError>)> completion) = 0;
};

class ServiceManagement {
  public:
    virtual ~ServiceManagement() = default;
    // A handle for the daemon that plistName describes; kept for the life of the process.
    virtual std::shared_ptr<AppService> daemonService(const std::string& plistName) = 0;
    virtual std::shared_ptr<AppService> mainAppService() = 0;
    // Shows the desktop's startup-applications settings; never blocks, no result.
    virtual void openSystemSettingsLoginItems() = 0;
};

}  // namespace mavu::services
