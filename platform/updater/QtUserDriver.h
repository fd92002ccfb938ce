#pragma once

#include <string>
#include <vector>

#include <QPointer>

#include "platform/updater/UserDriver.h"

class QMessageBox;

namespace mavu::updater {

// The updater's own dialogs as Qt Widgets message boxes. None is modal and every call
// returns at once; the user's choice comes back through the reply. The download page
// opens in the desktop's browser. Needs a QApplication.
class QtUserDriver final : public UserDriver {
  public:
    static constexpr char kUpToDateText[] = "You're up to date";
    static constexpr char kUpdateFoundText[] = "A new version of MAVU is available";
    static constexpr char kErrorText[] = "Update Error";
    static constexpr char kDownloadButton[] = "Download";
    static constexpr char kLaterButton[] = "Later";

    QtUserDriver() = default;
    // Closes the dialogs still open, without answering for the user.
    ~QtUserDriver() override;
    QtUserDriver(const QtUserDriver&) = delete;
    QtUserDriver& operator=(const QtUserDriver&) = delete;

    void showUpToDate(const std::string& currentVersion) override;
    void showUpdateFound(const UpdateItem& item, const std::string& currentVersion,
                         std::function<void(UpdateChoice)> reply) override;
    void showUpdaterError(const std::string& sentence) override;
    void showDownloadPage(const std::string& url) override;

  private:
    void present(QMessageBox* box);

    std::vector<QPointer<QMessageBox>> open_;
};

}  // namespace mavu::updater
