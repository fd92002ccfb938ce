#include "app/ui/QtAlertPresenter.h"

#include <QIcon>
#include <QMessageBox>
#include <QPushButton>

namespace mavu::ui {

void QtAlertPresenter::runModal(const alert::Alert& alert) {
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("MAVU"));
    box.setIconPixmap(QIcon(QStringLiteral(":/icons/mavu.svg")).pixmap(64, 64));
    box.setText(QString::fromStdString(alert.messageText));
    box.setInformativeText(QString::fromStdString(alert.informativeText));
    QPushButton* first = nullptr;
    for (const auto& title : alert.buttons) {
        QPushButton* button = box.addButton(QString::fromStdString(title), QMessageBox::AcceptRole);
        if (first == nullptr) {
            first = button;
        }
    }
    if (first == nullptr) {
        first = box.addButton(QMessageBox::Ok);
    }
    box.setDefaultButton(first);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    shown_ = &box;
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    shown_.clear();
}

void QtAlertPresenter::endAlert() {
    if (shown_) {
        shown_->reject();
    }
}

}  // namespace mavu::ui
