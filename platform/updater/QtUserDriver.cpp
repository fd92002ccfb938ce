#include "platform/updater/QtUserDriver.h"

#include <algorithm>

#include <QAbstractButton>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocumentFragment>
#include <QUrl>

#include "platform/log/Log.h"

namespace mavu::updater {
namespace {

const QString kWindowTitle = QStringLiteral("Software Update");

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QMessageBox* makeBox(QMessageBox::Icon icon, const char* message, const QString& details) {
    auto* box = new QMessageBox(icon, kWindowTitle, QString::fromUtf8(message));
    box->setInformativeText(details);
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}

}  // namespace

QtUserDriver::~QtUserDriver() {
    for (const QPointer<QMessageBox>& box : open_) {
        if (box) {
            QObject::disconnect(box, nullptr, nullptr, nullptr);
            delete box.data();
        }
    }
}

void QtUserDriver::present(QMessageBox* box) {
    std::erase_if(open_, [](const QPointer<QMessageBox>& open) { return open.isNull(); });
    open_.emplace_back(box);
    // The app has no window of its own in front: bring the dialog there.
    box->show();
    box->raise();
    box->activateWindow();
}

void QtUserDriver::showUpToDate(const std::string& currentVersion) {
    auto* box = makeBox(QMessageBox::Information, kUpToDateText,
                        QStringLiteral("MAVU %1 is currently the newest version available.")
                            .arg(text(currentVersion)));
    box->setStandardButtons(QMessageBox::Ok);
    present(box);
}

void QtUserDriver::showUpdateFound(const UpdateItem& item, const std::string& currentVersion,
                                   std::function<void(UpdateChoice)> reply) {
    const std::string& offered =
        item.displayVersionString.empty() ? item.versionString : item.displayVersionString;
    auto* box =
        makeBox(QMessageBox::Information, kUpdateFoundText,
                QStringLiteral("MAVU %1 is now available \u2014 you have %2. Would you like to "
                               "download it now?")
                    .arg(text(offered), text(currentVersion)));
    if (!item.itemDescription.empty()) {
        // Release notes are often HTML; the box shows them as plain text only.
        box->setDetailedText(
            QTextDocumentFragment::fromHtml(text(item.itemDescription)).toPlainText());
    }
    QPushButton* download =
        box->addButton(QString::fromUtf8(kDownloadButton), QMessageBox::AcceptRole);
    QPushButton* later = box->addButton(QString::fromUtf8(kLaterButton), QMessageBox::RejectRole);
    box->setDefaultButton(download);
    box->setEscapeButton(later);
    QObject::connect(box, &QMessageBox::finished, box, [box, download, reply = std::move(reply)] {
        reply(box->clickedButton() == download ? UpdateChoice::download : UpdateChoice::later);
    });
    present(box);
}

void QtUserDriver::showUpdaterError(const std::string& sentence) {
    auto* box = makeBox(QMessageBox::Warning, kErrorText, text(sentence));
    box->setStandardButtons(QMessageBox::Ok);
    present(box);
}

void QtUserDriver::showDownloadPage(const std::string& url) {
    if (!QDesktopServices::openUrl(QUrl(text(url)))) {
        log::line("MAVU updater: could not open " + url);
    }
}

}  // namespace mavu::updater
