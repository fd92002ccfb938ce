#include "app/ui/settings/SheetAlert.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "app/ui/settings/SettingsSheet.h"
#include "app/ui/settings/SheetControls.h"
#include "app/ui/style/Fonts.h"

namespace mavu::ui {
namespace {

constexpr int kCardWidth = 250;

QColor cardColor(ColorScheme scheme) {
    return isDark(scheme) ? QColor::fromRgbF(0.17f, 0.17f, 0.18f)
                          : QColor::fromRgbF(0.99f, 0.985f, 0.97f);
}

class AlertButton : public QAbstractButton {
  public:
    AlertButton(const QString& title, SheetAlert::Role role, ColorScheme scheme, QWidget* parent)
        : QAbstractButton(parent), role_(role), scheme_(scheme) {
        setText(title);
        setAccessibleName(title);
        setFont(systemFont(
            13, role == SheetAlert::Role::cancel ? FontWeight::regular : FontWeight::medium));
        setFocusPolicy(Qt::StrongFocus);
        setCursor(Qt::PointingHandCursor);
        setFixedHeight(28);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame = QRectF(rect()).adjusted(1, 1, -1, -1);
        QColor fill = withOpacity(ink(scheme_), isDown() ? 0.16 : 0.08);
        painter.setPen(hasFocus() ? QPen(systemRed(scheme_), 1.5) : QPen(Qt::NoPen));
        painter.setBrush(fill);
        painter.drawRoundedRect(frame, 6, 6);
        painter.setPen(role_ == SheetAlert::Role::destructive ? systemRed(scheme_) : ink(scheme_));
        painter.setFont(font());
        painter.drawText(frame, Qt::AlignCenter, text());
    }

  private:
    SheetAlert::Role role_;
    ColorScheme scheme_;
};

}  // namespace

SheetAlert::SheetAlert(const QString& title, const QString& message, std::vector<Button> buttons,
                       ColorScheme scheme, QWidget* parent)
    : QWidget(parent), buttons_(std::move(buttons)), scheme_(scheme) {
    setGeometry(parent->rect());
    setFocusPolicy(Qt::StrongFocus);
    card_ = new QWidget(this);
    card_->setAccessibleName(title);
    auto* layout = new QVBoxLayout(card_);
    layout->setContentsMargins(18, 20, 18, 16);
    layout->setSpacing(0);
    auto* heading = makeLabel(title, systemFont(13, FontWeight::bold), ink(scheme), card_);
    heading->setAlignment(Qt::AlignHCenter);
    heading->setWordWrap(true);
    auto* body = makeLabel(message, systemFont(11), ink(scheme), card_);
    body->setAlignment(Qt::AlignHCenter);
    body->setWordWrap(true);
    layout->addWidget(heading);
    layout->addSpacing(8);
    layout->addWidget(body);
    layout->addSpacing(16);
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        auto* button = new AlertButton(buttons_[i].title, buttons_[i].role, scheme, card_);
        QObject::connect(button, &QAbstractButton::clicked, this, [this, i] { choose(i); });
        if (i > 0) {
            layout->addSpacing(8);
        }
        layout->addWidget(button);
        buttonWidgets_.push_back(button);
    }
    // The message wraps: the card is as tall as its content is at the card's width.
    card_->setFixedWidth(kCardWidth);
    card_->resize(kCardWidth, layout->totalHeightForWidth(kCardWidth));
    card_->move((width() - card_->width()) / 2, (height() - card_->height()) / 2 - 40);
    hide();
}

void SheetAlert::choose(std::size_t index) {
    hide();
    // Copied: the action may change what this alert belongs to.
    const auto action = buttons_[index].action;
    if (action) {
        action();
    }
}

void SheetAlert::showEvent(QShowEvent* event) {
    raise();
    // Escape or a stray Return must not uninstall anything: the focus starts on the cancel
    // button when there is one.
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        if (buttons_[i].role == Role::cancel) {
            buttonWidgets_[i]->setFocus(Qt::OtherFocusReason);
        }
    }
    QWidget::showEvent(event);
}

bool SheetAlert::event(QEvent* event) {
    // Escape and Return answer the alert; the sheet's own Escape (close) must wait.
    if (event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void SheetAlert::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        for (std::size_t i = 0; i < buttons_.size(); ++i) {
            if (buttons_[i].role == Role::cancel) {
                choose(i);
                return;
            }
        }
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* focused = qobject_cast<QAbstractButton*>(focusWidget())) {
            focused->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void SheetAlert::mousePressEvent(QMouseEvent* event) {
    // The dimmed sheet behind takes no clicks while the alert is up.
    event->accept();
}

void SheetAlert::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, isDark(scheme_) ? 120 : 70));
    painter.drawRoundedRect(QRectF(rect()), kSettingsSheetCornerRadius, kSettingsSheetCornerRadius);
    const QRectF card = QRectF(card_->geometry());
    for (int spread = 6; spread > 0; spread -= 2) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 14));
        painter.drawRoundedRect(card.adjusted(-spread, -spread + 3, spread, spread + 3),
                                12 + spread, 12 + spread);
    }
    painter.setBrush(cardColor(scheme_));
    painter.setPen(QPen(withOpacity(primaryLabel(scheme_), 0.12), 1));
    painter.drawRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
}

}  // namespace mavu::ui
