#pragma once

#include <functional>
#include <string>

#include "platform/updater/Updater.h"

namespace mavu::updater {

enum class UpdateChoice { download, later };

// Everything the updater shows or opens for the user. Called on the main queue; none of
// them waits for the user.
class UserDriver {
  public:
    virtual ~UserDriver() = default;
    virtual void showUpToDate(const std::string& currentVersion) = 0;
    // reply runs at most once, on the main queue, when the user has chosen.
    virtual void showUpdateFound(const UpdateItem& item, const std::string& currentVersion,
                                 std::function<void(UpdateChoice)> reply) = 0;
    virtual void showUpdaterError(const std::string& sentence) = 0;
    virtual void showDownloadPage(const std::string& url) = 0;
};

}  // namespace mavu::updater
