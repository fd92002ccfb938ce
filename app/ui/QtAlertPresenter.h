#pragma once

#include <QPointer>

#include "platform/alert/AlertPresenter.h"

class QMessageBox;

namespace mavu::ui {

// The model's application-modal alerts as Qt message boxes, brought to the front.
class QtAlertPresenter final : public alert::AlertPresenter {
  public:
    void runModal(const alert::Alert& alert) override;
    // Ends the alert on screen, if any, as its last button would.
    void endAlert();

  private:
    QPointer<QMessageBox> shown_;
};

}  // namespace mavu::ui
