#include "app/ui/MainPanelView.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextOption>
#include <algorithm>

#include "app/ui/StatusIcon.h"
#include "app/ui/style/Artwork.h"
#include "app/ui/style/ButtonStyles.h"
#include "app/ui/style/Fonts.h"

namespace mavu::ui {
namespace {

using app::DurationOption;

constexpr double kWidth = MainPanelView::kCanvasSize.width();
constexpr double kHeight = MainPanelView::kCanvasSize.height();
constexpr double kMargin = 28;
constexpr double kCornerRadius = 24;

QString label(DurationOption option) {
    const auto raw = app::rawValue(option);
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
}

QFont titleFont() {
    QFont font = casualFont(31);
    setTracking(font, 0.6);
    return font;
}
QFont subtitleFont() {
    return roundedFont(17, FontWeight::regular);
}
QFont mainButtonFont() {
    QFont font = casualFont(30);
    setTracking(font, 0.5);
    return font;
}
QFont keepAwakeForFont() {
    QFont font = roundedFont(15, FontWeight::black);
    setTracking(font, 0.4);
    return font;
}
QFont durationFont(DurationOption option) {
    return roundedFont(option == DurationOption::infinite ? 30 : 22, FontWeight::bold);
}
QFont launchAtLoginFont() {
    return roundedFont(15, FontWeight::medium);
}

double lineHeight(const QFont& font) {
    return QFontMetricsF(font).height();
}
double textWidth(const QFont& font, const QString& text) {
    return QFontMetricsF(font).horizontalAdvance(text);
}

void drawText(QPainter& painter, const QRectF& rect, int flags, const QString& text,
              const QFont& font, const QColor& color) {
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(rect, flags, text);
}

// A symbol "at system font size": our symbols carry their own margin, so they are set a
// little larger than the size to match the height of the desktop's symbol glyphs.
QRectF symbolBox(const QString& name, double size, QPointF center) {
    const QSizeF box = symbolSize(name, size * 1.15);
    return QRectF(center - QPointF(box.width() / 2, box.height() / 2), box);
}

// Where everything sits on the canvas for one state.
struct Layout {
    QRectF logo, gear, character, title, subtitle, mainButton, rulesRow, leftRule, rightRule,
        keepAwakeFor;
    std::array<QRectF, 5> durations;
    QRectF launchAtLogin, checkbox, launchAtLoginText;
    QRectF appearance, settings, quit;
};

Layout panelLayout(bool armed) {
    Layout l;
    double y = 18;
    // Header: the logo frame, the gear at its top-trailing corner moved 8 to the right,
    // centred in a full-width row at least 110 high.
    const double headerHeight = std::max(110.0, 112.0);
    l.logo = QRectF((kWidth - 245) / 2, y + (headerHeight - 112) / 2, 245, 112);
    l.gear = QRectF(l.logo.right() - 40 + 8, l.logo.top(), 40, 40);
    y += headerHeight + 6;

    const double characterWidth = armed ? 400 : 430;
    l.character = QRectF((kWidth - characterWidth) / 2, y, characterWidth, 190);
    y += 190 + 8;

    const double titleHeight = lineHeight(titleFont());
    l.title = QRectF(kMargin, y, kWidth - 2 * kMargin, titleHeight);
    y += titleHeight + 4;
    const double subtitleHeight = lineHeight(subtitleFont());
    l.subtitle = QRectF(kMargin, y, kWidth - 2 * kMargin, subtitleHeight);
    y += subtitleHeight + 16;

    const double mainHeight = std::max(96.0, lineHeight(mainButtonFont()));
    l.mainButton = QRectF((kWidth - 488) / 2, y, 488, mainHeight);
    y += mainHeight + 20;

    const QString forText = QStringLiteral("KEEP AWAKE FOR");
    const double forWidth = textWidth(keepAwakeForFont(), forText);
    const double rowHeight = lineHeight(keepAwakeForFont());
    const double rowWidth = 42 + 14 + forWidth + 14 + 42;
    double x = (kWidth - rowWidth) / 2;
    l.rulesRow = QRectF(x, y, rowWidth, rowHeight);
    l.leftRule = QRectF(x, y + rowHeight / 2 - 0.5, 42, 1);
    l.keepAwakeFor = QRectF(x + 56, y, forWidth, rowHeight);
    l.rightRule = QRectF(l.keepAwakeFor.right() + 14, y + rowHeight / 2 - 0.5, 42, 1);
    y += rowHeight + 14;

    double durationsWidth = 14.0 * (app::allDurationOptions.size() - 1);
    for (auto option : app::allDurationOptions) {
        durationsWidth += option == DurationOption::infinite ? 80 : 74;
    }
    x = (kWidth - durationsWidth) / 2;
    for (std::size_t i = 0; i < app::allDurationOptions.size(); ++i) {
        const double w = app::allDurationOptions[i] == DurationOption::infinite ? 80 : 74;
        l.durations[i] = QRectF(x, y, w, 50);
        x += w + 14;
    }

    // Bottom bar: 28 in from the stack's own margin on each side, 22 above the bottom.
    const double left = kMargin + 28;
    const double right = kWidth - kMargin - 28;
    const QRectF checkbox = symbolBox(QStringLiteral("square"), 19, QPointF());
    const double barHeight = std::max({checkbox.height(), lineHeight(launchAtLoginFont()),
                                       symbolBox(QStringLiteral("info.circle"), 23, {}).height()});
    const double barTop = kHeight - 22 - barHeight;
    const double middle = barTop + barHeight / 2;
    l.checkbox = symbolBox(QStringLiteral("square"), 19, QPointF(left, middle));
    l.checkbox.moveLeft(left);
    const double textW = textWidth(launchAtLoginFont(), QStringLiteral("Launch at login"));
    l.launchAtLoginText = QRectF(l.checkbox.right() + 10, barTop, textW, barHeight);
    l.launchAtLogin = QRectF(left, barTop, l.launchAtLoginText.right() - left, barHeight);

    l.quit = symbolBox(QStringLiteral("xmark.circle"), 23, QPointF(0, middle));
    l.quit.moveRight(right);
    l.settings = symbolBox(QStringLiteral("info.circle"), 23, QPointF(0, middle));
    l.settings.moveRight(l.quit.left() - 14);
    l.appearance = symbolBox(QStringLiteral("moon.fill"), 20, QPointF(0, middle));
    l.appearance.moveRight(l.settings.left() - 14);
    return l;
}

// The setup alert's card and its buttons.
struct AlertLayout {
    QRectF card, symbol, title, message, openLoginItems, ok;
};

QFont alertTitleFont() {
    return systemFont(21, FontWeight::bold);
}
QFont alertMessageFont() {
    return systemFont(16);
}
QFont alertButtonFont() {
    return roundedFont(19, FontWeight::bold);
}
const QString kAlertTitle = QStringLiteral("MAVU needs one-time approval");

AlertLayout alertLayout(const MainPanelState& state) {
    AlertLayout a;
    const double width = 468;
    const double padding = 30;
    const double inner = width - 2 * padding;
    const QString message = QString::fromStdString(state.setupMessage);
    const QRectF measured =
        QFontMetricsF(alertMessageFont())
            .boundingRect(QRectF(0, 0, inner, 1000), Qt::AlignHCenter | Qt::TextWordWrap, message);
    const double buttonHeight = 54;
    const int buttons = state.helperNeedsApproval ? 2 : 1;
    const double titleHeight = lineHeight(alertTitleFont());
    const double height = padding + 54 + 14 + titleHeight + 12 + measured.height() + 26 +
                          buttons * buttonHeight + (buttons - 1) * 12 + padding;
    a.card = QRectF((kWidth - width) / 2, (kHeight - height) / 2, width, height);
    double y = a.card.top() + padding;
    a.symbol = QRectF(a.card.center().x() - 33, y, 66, 54);
    y += 54 + 14;
    a.title = QRectF(a.card.left() + padding, y, inner, titleHeight);
    y += titleHeight + 12;
    a.message = QRectF(a.card.left() + padding, y, inner, measured.height());
    y += measured.height() + 26;
    if (state.helperNeedsApproval) {
        a.openLoginItems = QRectF(a.card.left() + padding, y, inner, buttonHeight);
        y += buttonHeight + 12;
    }
    a.ok = QRectF(a.card.left() + padding, y, inner, buttonHeight);
    return a;
}

void paintAlertButton(QPainter& painter, const QRectF& frame, const QString& text, bool primary,
                      bool pressed, ColorScheme scheme) {
    painter.save();
    if (pressed) {
        painter.translate(0, 3);
    }
    QPainterPath shape;
    shape.addRoundedRect(frame, 16, 16);
    painter.fillPath(shape, primary ? selectedAmber() : QColor(Qt::transparent));
    const QPen outline = primary ? QPen(QColor::fromRgbF(0, 0, 0, 0.96f), 3)
                                 : QPen(withOpacity(primaryLabel(scheme), 0.45), 1.6);
    painter.strokePath(shape, outline);
    drawText(painter, frame, Qt::AlignCenter, text, alertButtonFont(),
             primary ? QColor(Qt::black) : ink(scheme));
    painter.restore();
}

}  // namespace

QString MainPanelView::durationControl(DurationOption option) {
    return QStringLiteral("duration.") + label(option);
}

QString MainPanelView::characterImage(bool armed, ColorScheme scheme) {
    return QStringLiteral("Character%1%2")
        .arg(armed ? QStringLiteral("Awake") : QStringLiteral("Sleeping"),
             isDark(scheme) ? QStringLiteral("Dark") : QStringLiteral("Light"));
}

QString MainPanelView::logoImage(ColorScheme scheme) {
    return isDark(scheme) ? QStringLiteral("MAVULogoDark") : QStringLiteral("MAVULogoLight");
}

QString MainPanelView::title(bool armed) {
    return armed ? QStringLiteral("MAVU IS ON") : QStringLiteral("SLEEP MODE");
}

QString MainPanelView::subtitle(bool armed) {
    return armed ? QStringLiteral("Mac stays awake when lid closes.")
                 : QStringLiteral("Mac sleeps normally when lid closes.");
}

MainPanelView::MainPanelView(MainPanelActions actions, QWidget* parent)
    : CanvasView(kCanvasSize, kScale, parent), actions_(std::move(actions)) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TranslucentBackground);
    setPaintFunction([this](QPainter& painter) {
        paintPanel(painter);
        if (state_.showSetupAlert) {
            paintAlert(painter);
        }
    });
    rebuild();
}

void MainPanelView::setState(const MainPanelState& state) {
    if (state == state_) {
        return;
    }
    state_ = state;
    rebuild();
}

void MainPanelView::rebuild() {
    auto call = [](const std::function<void()>& f) {
        return [f] {
            if (f) {
                f();
            }
        };
    };
    std::vector<CanvasControl> controls;
    if (state_.showSetupAlert) {
        // The alert is modal within the panel: only its buttons take clicks.
        const AlertLayout a = alertLayout(state_);
        if (state_.helperNeedsApproval) {
            controls.push_back({kOpenLoginItems, a.openLoginItems, {}, [this] {
                                    if (actions_.openLoginItems) {
                                        actions_.openLoginItems();
                                    }
                                    if (actions_.dismissSetupAlert) {
                                        actions_.dismissSetupAlert();
                                    }
                                }});
        }
        controls.push_back({kAlertOk, a.ok, {}, call(actions_.dismissSetupAlert)});
        setControls(std::move(controls));
        return;
    }
    const Layout l = panelLayout(state_.isArmed);
    const bool dark = isDark(state_.scheme);
    controls.push_back({kGear, l.gear, QStringLiteral("Settings"), call(actions_.showSettings)});
    controls.push_back({kMainButton, l.mainButton, {}, call(actions_.toggle), true});
    for (std::size_t i = 0; i < app::allDurationOptions.size(); ++i) {
        const auto option = app::allDurationOptions[i];
        controls.push_back({durationControl(option), l.durations[i], {}, [this, option] {
                                if (actions_.selectDuration) {
                                    actions_.selectDuration(option);
                                }
                            }});
    }
    controls.push_back({kLaunchAtLogin, l.launchAtLogin, {}, call(actions_.toggleLaunchAtLogin)});
    controls.push_back({kAppearance, l.appearance,
                        dark ? QStringLiteral("Switch to Light") : QStringLiteral("Switch to Dark"),
                        [this, dark] {
                            if (actions_.setAppearance) {
                                actions_.setAppearance(dark ? app::AppearancePreference::light
                                                            : app::AppearancePreference::dark);
                            }
                        }});
    controls.push_back(
        {kSettings, l.settings, QStringLiteral("Settings"), call(actions_.showSettings)});
    controls.push_back({kQuit, l.quit, QStringLiteral("Quit MAVU"), call(actions_.quit)});
    setControls(std::move(controls));
}

void MainPanelView::paintPanel(QPainter& painter) const {
    const ColorScheme scheme = state_.scheme;
    const bool dark = isDark(scheme);
    const bool armed = state_.isArmed;
    const QColor inkColor = ink(scheme);
    const Layout l = panelLayout(armed);

    QPainterPath canvas;
    canvas.addRoundedRect(QRectF(QPointF(0, 0), kCanvasSize), kCornerRadius, kCornerRadius);
    painter.save();
    painter.setClipPath(canvas, Qt::IntersectClip);
    painter.fillRect(QRectF(QPointF(0, 0), kCanvasSize), panelBackground(scheme));

    // Header.
    drawImage(painter, logoImage(scheme), l.logo);
    const double gearPressed = pressAmount(kGear) > 0 ? 0.6 : 0.9;
    drawSymbol(painter, QStringLiteral("gearshape.fill"),
               symbolBox(QStringLiteral("gearshape.fill"), 25, l.gear.center()),
               withOpacity(inkColor, gearPressed));

    drawImage(painter, characterImage(armed, scheme), l.character);

    drawText(painter, l.title, Qt::AlignHCenter | Qt::AlignVCenter, title(armed), titleFont(),
             armed ? armedTitleRed() : inkColor);
    drawText(painter, l.subtitle, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextWordWrap,
             subtitle(armed), subtitleFont(), withOpacity(inkColor, 0.9));

    // The main button; its label is always black, on red or on the light fill.
    ApprovedMainButtonStyle{armed, dark}.makeBody(
        painter, l.mainButton, pressAmount(kMainButton), [armed](QPainter& p, const QRectF& f) {
            const QRectF content = f.adjusted(42, 0, -42, 0);
            drawText(p, content, Qt::AlignLeft | Qt::AlignVCenter,
                     armed ? QStringLiteral("TURN OFF") : QStringLiteral("KEEP AWAKE"),
                     mainButtonFont(), Qt::black);
            const QString symbol = armed ? QStringLiteral("power") : QStringLiteral("bolt.fill");
            QRectF box = symbolBox(symbol, 31, QPointF(0, content.center().y()));
            box.moveRight(content.right());
            drawSymbol(p, symbol, box, Qt::black);
        });

    // Durations.
    painter.fillRect(l.leftRule, withOpacity(inkColor, 0.65));
    painter.fillRect(l.rightRule, withOpacity(inkColor, 0.65));
    drawText(painter, l.keepAwakeFor, Qt::AlignCenter, QStringLiteral("KEEP AWAKE FOR"),
             keepAwakeForFont(), withOpacity(inkColor, 0.92));
    for (std::size_t i = 0; i < app::allDurationOptions.size(); ++i) {
        const auto option = app::allDurationOptions[i];
        const ApprovedDurationButtonStyle style{option == state_.duration, armed, dark};
        style.makeBody(painter, l.durations[i], pressAmount(durationControl(option)) > 0,
                       [&](QPainter& p, const QRectF& f) {
                           drawText(p, f, Qt::AlignCenter, label(option), durationFont(option),
                                    style.labelColor());
                       });
    }

    // Bottom bar.
    const double loginPressed = pressAmount(kLaunchAtLogin) > 0 ? 0.6 : 1.0;
    drawSymbol(painter,
               state_.launchAtLoginEnabled ? QStringLiteral("checkmark.square.fill")
                                           : QStringLiteral("square"),
               l.checkbox, withOpacity(inkColor, loginPressed));
    drawText(painter, l.launchAtLoginText, Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Launch at login"), launchAtLoginFont(),
             withOpacity(inkColor, loginPressed));
    const auto icon = [&](const QString& control, const QString& symbol, const QRectF& box) {
        drawSymbol(painter, symbol, box,
                   withOpacity(inkColor, pressAmount(control) > 0 ? 0.55 : 0.95));
    };
    icon(kAppearance, dark ? QStringLiteral("sun.max.fill") : QStringLiteral("moon.fill"),
         l.appearance);
    icon(kSettings, QStringLiteral("info.circle"), l.settings);
    icon(kQuit, QStringLiteral("xmark.circle"), l.quit);
    painter.restore();

    // The hairline outline on top of the clipped canvas.
    painter.save();
    painter.setPen(QPen(withOpacity(primaryLabel(scheme), dark ? 0.08 : 0.18), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(0.5, 0.5, kWidth - 1, kHeight - 1), kCornerRadius - 0.5,
                            kCornerRadius - 0.5);
    painter.restore();
}

void MainPanelView::paintAlert(QPainter& painter) const {
    const ColorScheme scheme = state_.scheme;
    const bool dark = isDark(scheme);
    const AlertLayout a = alertLayout(state_);
    painter.save();
    QPainterPath canvas;
    canvas.addRoundedRect(QRectF(QPointF(0, 0), kCanvasSize), kCornerRadius, kCornerRadius);
    painter.fillPath(canvas, QColor::fromRgbF(0, 0, 0, dark ? 0.55f : 0.38f));

    QPainterPath card;
    card.addRoundedRect(a.card, 26, 26);
    if (!dark) {
        painter.fillPath(card.translated(0, 5), QColor::fromRgbF(0, 0, 0, 0.12f));
    }
    painter.fillPath(card, dark ? QColor::fromRgbF(0.13f, 0.135f, 0.145f) : panelLight());
    painter.strokePath(card, dark ? QPen(QColor::fromRgbF(1, 1, 1, 0.14f), 1.5)
                                  : QPen(QColor::fromRgbF(0, 0, 0, 0.96f), 4));

    drawStatusEye(painter, a.symbol, false, accentRed());

    drawText(painter, a.title, Qt::AlignCenter, kAlertTitle, alertTitleFont(), ink(scheme));
    drawText(painter, a.message, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
             QString::fromStdString(state_.setupMessage), alertMessageFont(),
             withOpacity(ink(scheme), 0.85));
    if (state_.helperNeedsApproval) {
        paintAlertButton(painter, a.openLoginItems, QStringLiteral("Open Login Items"), true,
                         pressAmount(kOpenLoginItems) > 0, scheme);
    }
    paintAlertButton(painter, a.ok, QStringLiteral("OK"), !state_.helperNeedsApproval,
                     pressAmount(kAlertOk) > 0, scheme);
    painter.restore();
}

void MainPanelView::keyPressEvent(QKeyEvent* event) {
    if (state_.showSetupAlert &&
        (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
         event->key() == Qt::Key_Enter)) {
        if (event->key() != Qt::Key_Escape && state_.helperNeedsApproval) {
            if (actions_.openLoginItems) {
                actions_.openLoginItems();
            }
        }
        if (actions_.dismissSetupAlert) {
            actions_.dismissSetupAlert();
        }
        return;
    }
    CanvasView::keyPressEvent(event);
}

}  // namespace mavu::ui
