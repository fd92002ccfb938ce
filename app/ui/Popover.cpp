#include "app/ui/Popover.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/ui/X11Compositing.h"
#include "app/ui/settings/SettingsSheet.h"

namespace mavu::ui {
namespace {

constexpr int kGap = 6;

QPoint clampInto(QPoint topLeft, const QSize& size, const QRect& available) {
    topLeft.setX(std::clamp(topLeft.x(), available.left(),
                            std::max(available.left(), available.right() + 1 - size.width())));
    topLeft.setY(std::clamp(topLeft.y(), available.top(),
                            std::max(available.top(), available.bottom() + 1 - size.height())));
    return topLeft;
}

QRect availableAt(const QPoint& point) {
    QScreen* screen = QGuiApplication::screenAt(point);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
}

// A frameless popup window calling back when it hides and when a key is pressed.
class PopupWindow final : public QWidget {
  public:
    PopupWindow(QWidget* parent, std::function<void()> hidden, std::function<bool(QKeyEvent*)> key)
        : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
          hidden_(std::move(hidden)),
          key_(std::move(key)) {
        setAttribute(Qt::WA_TranslucentBackground);
        // A click outside closes the popup and goes no further: a click on the status
        // icon must close it, not open it again.
        setAttribute(Qt::WA_NoMouseReplay);
        setWindowTitle(QStringLiteral("MAVU"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    void setContent(QWidget* content) {
        while (QLayoutItem* old = this->layout()->takeAt(0)) {
            if (old->widget() != nullptr) {
                old->widget()->hide();
                old->widget()->deleteLater();
            }
            delete old;
        }
        this->layout()->addWidget(content);
        setFixedSize(content->size());
        content->setFocus();
        roundCorners();
    }

  protected:
    void hideEvent(QHideEvent* event) override {
        QWidget::hideEvent(event);
        if (hidden_) {
            hidden_();
        }
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (key_ && key_(event)) {
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            close();
            return;
        }
        QWidget::keyPressEvent(event);
    }

  private:
    // Without a compositor the transparent corners would show black: cut them off.
    void roundCorners() {
        if (hasCompositingManager()) {
            clearMask();
            return;
        }
        QPainterPath path;
        const double radius = 24 * width() / 600.0;
        path.addRoundedRect(QRectF(rect()), radius, radius);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    }

    std::function<void()> hidden_;
    std::function<bool(QKeyEvent*)> key_;
};

}  // namespace

QPoint popoverPosition(const QRect& icon, const QPoint& pointer, const QRect& available,
                       const QSize& size) {
    QPoint topLeft;
    if (icon.isValid() && !icon.isEmpty()) {
        const bool topPanel = icon.center().y() < available.center().y();
        topLeft = QPoint(icon.left() + icon.width() / 2 - size.width() / 2,
                         topPanel ? icon.bottom() + 1 + kGap : icon.top() - kGap - size.height());
    } else {
        const bool upperHalf = pointer.y() < available.center().y();
        topLeft = QPoint(pointer.x() - size.width() / 2,
                         upperHalf ? pointer.y() + kGap : pointer.y() - kGap - size.height());
    }
    return clampInto(topLeft, size, available);
}

SheetPlacement sheetPlacement(const QRect& popover, const QRect& available) {
    SheetPlacement placement;
    placement.scale = std::min(1.0, available.height() / kSettingsSheetHeight);
    const QSize size(static_cast<int>(std::lround(kSettingsSheetWidth * placement.scale)),
                     static_cast<int>(std::lround(kSettingsSheetHeight * placement.scale)));
    placement.topLeft =
        clampInto(QPoint(popover.left() + (popover.width() - size.width()) / 2, popover.top()),
                  size, available);
    return placement;
}

Popover::Popover(app::AppModel& model, const DesktopScheme& desktop, std::function<void()> didClose)
    : model_(model), desktop_(desktop), didClose_(std::move(didClose)) {}

Popover::~Popover() {
    subscriptions_.clear();
    delete sheetWindow_.data();
}

bool Popover::isShown() const {
    return window_ && window_->isVisible();
}

void Popover::build() {
    window_ = std::make_unique<PopupWindow>(
        nullptr, [this] { windowHidden(); },
        [this](QKeyEvent* event) {
            // Ctrl+, opens the settings sheet, as "Settings…" does on other desktops.
            if (event->key() == Qt::Key_Comma && event->modifiers() == Qt::ControlModifier) {
                model_.setShowSettings(true);
                return true;
            }
            return false;
        });
    root_ = std::make_unique<RootAppearanceView>(model_, desktop_, window_.get());
    static_cast<PopupWindow*>(window_.get())->setContent(&root_->panel());
    auto sheetFollows = [this](const auto& field) {
        subscriptions_.push_back(field.subscribe([this](const auto&) { updateSheet(); }));
    };
    sheetFollows(model_.showSettings());
    sheetFollows(model_.appearance());
    sheetFollows(desktop_.scheme());
}

void Popover::show(const QRect& icon, const QPoint& pointer) {
    if (!window_) {
        build();
    }
    const QRect available = availableAt(icon.isValid() ? icon.center() : pointer);
    window_->move(popoverPosition(icon, pointer, available, window_->size()));
    window_->show();
    window_->raise();
    window_->activateWindow();
    root_->panel().setFocus();
    updateSheet();
}

void Popover::close() {
    if (isShown()) {
        window_->close();
    }
}

void Popover::windowHidden() {
    closeSheet();
    if (didClose_) {
        didClose_();
    }
}

void Popover::updateSheet() {
    const bool wanted = isShown() && model_.showSettings().get();
    if (!wanted) {
        closeSheet();
        return;
    }
    const ColorScheme scheme =
        effectiveScheme(colorScheme(model_.appearance().get()), desktop_.scheme().get());
    // A hidden sheet (closed earlier in this showing) is built anew, as on the first open.
    if (sheetWindow_ && sheetWindow_->isVisible() && scheme == sheetScheme_) {
        return;
    }
    const SheetPlacement placement =
        sheetPlacement(window_->geometry(), availableAt(window_->geometry().center()));
    sheetScheme_ = scheme;
    // A new sheet for a new scheme: the old one may be inside its own click handler, so it
    // goes later.
    std::unique_ptr<QWidget> content = makeSettingsSheet(model_, scheme, placement.scale);
    if (!sheetWindow_) {
        sheetWindow_ = new PopupWindow(window_.get(), [this] { sheetHidden(); }, {});
    }
    static_cast<PopupWindow*>(sheetWindow_.data())->setContent(content.release());
    sheetWindow_->move(placement.topLeft);
    sheetWindow_->show();
    sheetWindow_->raise();
}

void Popover::closeSheet() {
    if (sheetWindow_ && sheetWindow_->isVisible()) {
        closingSheet_ = true;
        sheetWindow_->hide();
        closingSheet_ = false;
    }
}

void Popover::sheetHidden() {
    if (closingSheet_) {
        return;
    }
    // Closed by the user (a click outside it or Escape): that writes showSettings back. A
    // click outside the popover as well closes both, as one transient panel.
    const bool outsideBoth = isShown() && !window_->geometry().contains(QCursor::pos()) &&
                             QGuiApplication::mouseButtons() != Qt::NoButton;
    model_.setShowSettings(false);
    if (outsideBoth) {
        close();
    }
}

}  // namespace mavu::ui
