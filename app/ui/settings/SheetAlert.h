#pragma once

#include <QAbstractButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "app/ui/style/Palette.h"

namespace mavu::ui {

// An alert drawn inside the sheet: the sheet dims behind a card with a title, a message and
// its buttons stacked in order. Drawn in place rather than as a window of its own, so it
// scales with the sheet and never competes with the popover for the focus.
class SheetAlert : public QWidget {
  public:
    enum class Role { normal, destructive, cancel };
    struct Button {
        QString title;
        Role role = Role::normal;
        // Runs after the alert has been hidden.
        std::function<void()> action;
    };

    // Covers parent; hidden until show().
    SheetAlert(const QString& title, const QString& message, std::vector<Button> buttons,
               ColorScheme scheme, QWidget* parent);

    // The buttons' widgets, in order (their text is the title).
    const std::vector<QAbstractButton*>& buttons() const { return buttonWidgets_; }

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void choose(std::size_t index);

    std::vector<Button> buttons_;
    std::vector<QAbstractButton*> buttonWidgets_;
    QWidget* card_ = nullptr;
    ColorScheme scheme_;
};

}  // namespace mavu::ui
