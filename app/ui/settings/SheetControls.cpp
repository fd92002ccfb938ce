#include "app/ui/settings/SheetControls.h"

#include <QPainter>
#include <QPainterPath>

#include "app/ui/style/Artwork.h"
#include "app/ui/style/ButtonStyles.h"
#include "app/ui/style/Fonts.h"

namespace mavu::ui {
namespace {

// How far a control fades while pressed, and while it cannot be used.
constexpr double kPressedOpacity = 0.6;
constexpr double kDisabledOpacity = 0.4;

double stateOpacity(const QAbstractButton& button) {
    if (!button.isEnabled()) {
        return kDisabledOpacity;
    }
    return button.isDown() ? kPressedOpacity : 1.0;
}

void makePlain(QAbstractButton& button, const QString& name) {
    button.setAccessibleName(name);
    button.setCursor(Qt::PointingHandCursor);
    button.setFocusPolicy(Qt::TabFocus);
}

}  // namespace

CloseDot::CloseDot(ColorScheme scheme, QWidget* parent) : QAbstractButton(parent), scheme_(scheme) {
    makePlain(*this, QStringLiteral("Close"));
    setFixedSize(14, 14);
    setAttribute(Qt::WA_Hover);
}

bool CloseDot::hitButton(const QPoint& pos) const {
    const QPointF offset = QPointF(pos) - QRectF(rect()).center();
    return offset.x() * offset.x() + offset.y() * offset.y() <= 7.0 * 7.0;
}

void CloseDot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isDown() ? kPressedOpacity : 1.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(systemRed(scheme_), 0.92));
    painter.drawEllipse(QRectF(rect()));
    // The cross only under the pointer, as window close dots do.
    if (underMouse() || hasFocus()) {
        painter.setPen(QPen(QColor(0, 0, 0, 140), 1.3, Qt::SolidLine, Qt::RoundCap));
        const QRectF cross = QRectF(rect()).adjusted(4.5, 4.5, -4.5, -4.5);
        painter.drawLine(cross.topLeft(), cross.bottomRight());
        painter.drawLine(cross.topRight(), cross.bottomLeft());
    }
}

SymbolButton::SymbolButton(const QString& symbol, int fontSize, QColor color, QSize frame,
                           QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol), fontSize_(fontSize), color_(std::move(color)) {
    makePlain(*this, symbol);
    setFixedSize(frame);
}

void SymbolButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(stateOpacity(*this));
    const QSizeF size = symbolSize(symbol_, fontSize_);
    const QRectF box(QRectF(rect()).center() - QPointF(size.width() / 2, size.height() / 2), size);
    drawSymbol(painter, symbol_, box, color_);
}

TextButton::TextButton(const QString& text, const QFont& font, QColor color, QWidget* parent)
    : QAbstractButton(parent), color_(std::move(color)) {
    makePlain(*this, text);
    setText(text);
    setFont(font);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TextButton::setColor(const QColor& color) {
    color_ = color;
    update();
}

QSize TextButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2, metrics.height()};
}

void TextButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setOpacity(stateOpacity(*this));
    painter.setPen(color_);
    painter.setFont(font());
    painter.drawText(QRectF(rect()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

AppearanceTile::AppearanceTile(const QString& title, Icon icon, ColorScheme scheme, QWidget* parent)
    : QAbstractButton(parent), icon_(icon), scheme_(scheme) {
    makePlain(*this, title);
    setText(title);
    setFont(systemFont(12));
    setFixedSize(66, 64);
}

void AppearanceTile::setSelected(bool selected) {
    selected_ = selected;
    setAccessibleDescription(selected ? QStringLiteral("Selected") : QString());
    update();
}

void AppearanceTile::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    if (selected_) {
        painter.setPen(QPen(systemRed(scheme_), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), 9, 9);
    }
    painter.setOpacity(isDown() ? kPressedOpacity : 1.0);
    const QFontMetricsF metrics(font());
    const qreal iconHeight = 38, spacing = 5;
    const qreal top = (bounds.height() - iconHeight - spacing - metrics.height()) / 2;
    const QRectF iconFrame(bounds.center().x() - 23, top, 46, iconHeight);
    const QColor inkColor = ink(scheme_);
    if (icon_ == Icon::system) {
        drawSystemSwatch(painter, iconFrame);
    } else {
        const QString symbol =
            icon_ == Icon::light ? QStringLiteral("sun.max") : QStringLiteral("moon.fill");
        const QSizeF size = symbolSize(symbol, 26);
        drawSymbol(painter, symbol,
                   QRectF(iconFrame.center() - QPointF(size.width() / 2, size.height() / 2), size),
                   inkColor);
    }
    painter.setPen(inkColor);
    painter.setFont(font());
    painter.drawText(QRectF(0, iconFrame.bottom() + spacing, bounds.width(), metrics.height()),
                     Qt::AlignCenter, text());
}

void AppearanceTile::drawSystemSwatch(QPainter& painter, const QRectF& frame) const {
    // Light and dark side by side, each half carrying its own symbol.
    const QRectF swatch(frame.center() - QPointF(20, 14), QSizeF(40, 28));
    QPainterPath clip;
    clip.addRoundedRect(swatch, 8, 8);
    painter.save();
    painter.setClipPath(clip);
    const QRectF left(swatch.topLeft(), QSizeF(swatch.width() / 2, swatch.height()));
    const QRectF right(left.topRight(), left.size());
    painter.fillRect(left, Qt::white);
    painter.fillRect(right, Qt::black);
    const auto centred = [](const QString& symbol, const QRectF& half) {
        const QSizeF size = symbolSize(symbol, 9);
        return QRectF(half.center() - QPointF(size.width() / 2, size.height() / 2), size);
    };
    drawSymbol(painter, QStringLiteral("moon.fill"), centred(QStringLiteral("moon.fill"), left),
               Qt::black);
    drawSymbol(painter, QStringLiteral("sparkles"), centred(QStringLiteral("sparkles"), right),
               Qt::white);
    painter.restore();
    painter.setPen(QPen(withOpacity(primaryLabel(scheme_), 0.55), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(swatch.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
}

ToggleSwitch::ToggleSwitch(const QString& accessibleName, ColorScheme scheme, QWidget* parent)
    : QAbstractButton(parent), scheme_(scheme) {
    makePlain(*this, accessibleName);
    setFixedSize(static_cast<int>(SwitchStyle::kWidth), static_cast<int>(SwitchStyle::kHeight));
    setOn(false);
}

void ToggleSwitch::setOn(bool on) {
    on_ = on;
    setAccessibleDescription(on ? QStringLiteral("On") : QStringLiteral("Off"));
    update();
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    SwitchStyle{isDark(scheme_)}.draw(painter, QRectF(rect()), on_, isDown());
}

Divider::Divider(ColorScheme scheme, QWidget* parent) : QWidget(parent), scheme_(scheme) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), withOpacity(primaryLabel(scheme_), 0.14));
}

QLabel* makeLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    setLabelColor(label, color);
    return label;
}

void setLabelColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

ImageView::ImageView(const QString& name, QSize frame, QWidget* parent)
    : QWidget(parent), name_(name) {
    setFixedSize(frame);
}

void ImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    drawImage(painter, name_, QRectF(rect()));
}

}  // namespace mavu::ui
