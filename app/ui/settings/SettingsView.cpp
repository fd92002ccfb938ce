#include "app/ui/settings/SettingsView.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>

#include "app/model/AppModel.h"
#include "app/shortcut/recorder/ShortcutRecorder.h"
#include "app/ui/settings/SettingsSheet.h"
#include "app/ui/settings/SheetAlert.h"
#include "app/ui/settings/SheetControls.h"
#include "app/ui/style/Fonts.h"
#include "platform/bundle/BundleInfo.h"

namespace mavu::ui {
namespace {

using app::AppearancePreference;

constexpr int kSideMargin = 18;
constexpr int kDividerMargin = 16;
const QString kMissing = QStringLiteral("—");

const char kContactUrl[] = "mailto:hello@mavu.app?subject=MAVU%20feedback";

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

// The row a control sits in, full width.
QHBoxLayout* row(QWidget* owner, int spacing = 8) {
    auto* layout = new QHBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

}  // namespace

std::optional<DaemonLine> daemonLine(const std::optional<std::string>& version,
                                     const std::optional<std::string>& build, bool unknown,
                                     const std::string& appBuild) {
    if (version && build) {
        return DaemonLine{"Helper: v" + *version + " (" + *build + ")", *build != appBuild};
    }
    if (unknown) {
        return DaemonLine{"Helper: version unknown", true};
    }
    return std::nullopt;
}

SettingsView::SettingsView(app::AppModel& model, ColorScheme scheme, QWidget* parent)
    : QWidget(parent), model_(model), scheme_(scheme) {
    setFixedSize(static_cast<int>(kSettingsSheetWidth), static_cast<int>(kSettingsSheetHeight));
    setAccessibleName(QStringLiteral("Settings"));
    setFocusPolicy(Qt::ClickFocus);
    appBuild_ = model_.bundle().infoString(bundle::kVersionKey).value_or(kMissing.toStdString());

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kSideMargin, 12, kSideMargin, 10);
    column->setSpacing(0);
    const auto divider = [&](int above, int below) {
        column->addSpacing(above);
        column->addWidget(new Divider(scheme_, this));
        column->addSpacing(below);
    };
    const QColor inkColor = ink(scheme_);

    column->addWidget(makeHeader());
    divider(8, 0);
    column->addSpacing(15);
    column->addWidget(
        makeLabel(QStringLiteral("Appearance"), systemFont(15, FontWeight::bold), inkColor, this));
    column->addSpacing(10);
    column->addWidget(makeAppearanceRow());
    divider(kDividerMargin, kDividerMargin);
    column->addWidget(makeSwitchRow(QStringLiteral("Launch at login"), launchAtLogin_));
    divider(kDividerMargin, kDividerMargin);
    column->addWidget(makeLabel(QStringLiteral("Global Shortcut"), systemFont(15, FontWeight::bold),
                                inkColor, this));
    column->addSpacing(10);
    column->addWidget(makeShortcutRow());
    divider(kDividerMargin, kDividerMargin);
    column->addWidget(makeSwitchRow(QStringLiteral("Automatically check for updates"), autoCheck_));
    column->addSpacing(10);
    auto* updateNow = new TextButton(QStringLiteral("Update Now"),
                                     systemFont(13, FontWeight::medium), inkColor, this);
    updateNow->setObjectName(QStringLiteral("updateNow"));
    connect(updateNow, &QAbstractButton::clicked, this, [this] { model_.checkForUpdates(); });
    column->addWidget(updateNow);
    divider(kDividerMargin, kDividerMargin);
    auto* uninstall = new TextButton(QStringLiteral("Uninstall MAVU…"),
                                     systemFont(13, FontWeight::medium), accentRed(), this);
    uninstall->setObjectName(QStringLiteral("uninstall"));
    connect(uninstall, &QAbstractButton::clicked, this,
            [this] { model_.setShowUninstallConfirm(true); });
    column->addWidget(uninstall);
    divider(kDividerMargin, kDividerMargin);
    column->addWidget(makeAboutBlock());
    column->addStretch(1);
    column->addSpacing(4);
    column->addWidget(makeFooter());

    launchAtLogin_->setObjectName(QStringLiteral("launchAtLogin"));
    connect(launchAtLogin_, &QAbstractButton::clicked, this,
            [this] { model_.toggleLaunchAtLogin(); });
    autoCheck_->setObjectName(QStringLiteral("autoCheckForUpdates"));
    connect(autoCheck_, &QAbstractButton::clicked, this,
            [this] { model_.toggleAutoCheckForUpdates(); });

    makeAlerts();
    makeHiddenKeys();
    subscribe();
}

SettingsView::~SettingsView() = default;

QWidget* SettingsView::makeHeader() {
    auto* header = new QWidget(this);
    header->setFixedHeight(28);
    auto* title = makeLabel(QStringLiteral("Settings"), systemFont(15, FontWeight::bold),
                            ink(scheme_), header);
    title->setAlignment(Qt::AlignCenter);
    auto* controls = new QWidget(header);
    auto* layout = row(controls);
    auto* close = new CloseDot(scheme_, controls);
    close->setObjectName(QStringLiteral("close"));
    close->setToolTip(QStringLiteral("Close"));
    connect(close, &QAbstractButton::clicked, this, [this] { model_.setShowSettings(false); });
    auto* quit = new SymbolButton(QStringLiteral("power"), 13, withOpacity(ink(scheme_), 0.8),
                                  QSize(20, 20), controls);
    quit->setObjectName(QStringLiteral("quit"));
    quit->setToolTip(QStringLiteral("Quit MAVU"));
    quit->setAccessibleName(QStringLiteral("Quit MAVU"));
    connect(quit, &QAbstractButton::clicked, this, [this] { model_.quit(); });
    layout->addWidget(close, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    layout->addWidget(quit, 0, Qt::AlignVCenter);
    // The title is centred on the whole width, under the row of controls.
    auto* overlay = new QGridLayout(header);
    overlay->setContentsMargins(0, 0, 0, 0);
    overlay->addWidget(title, 0, 0);
    overlay->addWidget(controls, 0, 0);
    return header;
}

QWidget* SettingsView::makeAppearanceRow() {
    auto* tiles = new QWidget(this);
    auto* layout = row(tiles, 18);
    layout->addStretch(1);
    const struct {
        const char* title;
        AppearanceTile::Icon icon;
        AppearancePreference preference;
    } choices[] = {{"Light", AppearanceTile::Icon::light, AppearancePreference::light},
                   {"Dark", AppearanceTile::Icon::dark, AppearancePreference::dark},
                   {"System", AppearanceTile::Icon::system, AppearancePreference::system}};
    for (const auto& choice : choices) {
        auto* tile =
            new AppearanceTile(QString::fromLatin1(choice.title), choice.icon, scheme_, tiles);
        tile->setObjectName(QStringLiteral("tile.") + QString::fromLatin1(choice.title));
        tile->setProperty("preference", static_cast<int>(choice.preference));
        connect(tile, &QAbstractButton::clicked, this,
                [this, preference = choice.preference] { model_.setAppearance(preference); });
        layout->addWidget(tile);
        tiles_.push_back(tile);
    }
    layout->addStretch(1);
    return tiles;
}

QWidget* SettingsView::makeSwitchRow(const QString& title, ToggleSwitch*& toggle) {
    auto* line = new QWidget(this);
    auto* layout = row(line);
    layout->addWidget(makeLabel(title, systemFont(13), ink(scheme_), line), 0, Qt::AlignVCenter);
    layout->addStretch(1);
    toggle = new ToggleSwitch(title, scheme_, line);
    layout->addWidget(toggle, 0, Qt::AlignVCenter);
    return line;
}

QWidget* SettingsView::makeShortcutRow() {
    auto* line = new QWidget(this);
    auto* layout = row(line);
    layout->addWidget(makeLabel(QStringLiteral("Toggle MAVU"), systemFont(13), ink(scheme_), line),
                      0, Qt::AlignVCenter);
    layout->addStretch(1);
    recorder_ = new shortcut::ShortcutRecorder(line);
    recorder_->setObjectName(QStringLiteral("shortcutRecorder"));
    recorder_->setAccessibleName(QStringLiteral("Global shortcut"));
    recorder_->setFont(systemFont(12, FontWeight::medium));
    recorder_->setInk(ink(scheme_));
    recorder_->setAccent(accentRed());
    recorder_->setOnCapture(
        [this](const shortcut::KeyCombo& combo) { model_.updateShortcut(combo); });
    layout->addWidget(recorder_, 0, Qt::AlignVCenter);
    auto* reset = new SymbolButton(QStringLiteral("arrow.counterclockwise"), 12,
                                   withOpacity(ink(scheme_), 0.8), QSize(22, 22), line);
    reset->setObjectName(QStringLiteral("resetShortcut"));
    reset->setToolTip(QStringLiteral("Reset to default shortcut"));
    reset->setAccessibleName(QStringLiteral("Reset to default shortcut"));
    connect(reset, &QAbstractButton::clicked, this, [this] { model_.resetShortcut(); });
    layout->addWidget(reset, 0, Qt::AlignVCenter);
    return line;
}

QWidget* SettingsView::makeAboutBlock() {
    auto* block = new QWidget(this);
    auto* layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    const QColor inkColor = ink(scheme_);
    const auto info = [this](const char* key) {
        const auto value = model_.bundle().infoString(key);
        return value ? text(*value) : kMissing;
    };
    layout->addWidget(
        makeLabel(QStringLiteral("About MAVU"), systemFont(15, FontWeight::bold), inkColor, block));
    auto* version = makeLabel(QStringLiteral("Version ") + info(bundle::kShortVersionKey),
                              systemFont(13), inkColor, block);
    version->setObjectName(QStringLiteral("version"));
    layout->addWidget(version);
    auto* build = makeLabel(QStringLiteral("Build ") + info(bundle::kVersionKey), systemFont(13),
                            inkColor, block);
    build->setObjectName(QStringLiteral("build"));
    layout->addWidget(build);

    daemonRow_ = new QWidget(block);
    daemonRow_->setObjectName(QStringLiteral("daemonLine"));
    daemonLayout_ = row(daemonRow_);
    auto* line = daemonLayout_;
    daemonText_ = makeLabel(QString(), systemFont(13), inkColor, daemonRow_);
    daemonText_->setObjectName(QStringLiteral("daemonText"));
    QFont underlined = systemFont(12, FontWeight::semibold);
    underlined.setUnderline(true);
    updateHelper_ =
        new TextButton(QStringLiteral("Update Helper"), underlined, accentRed(), daemonRow_);
    updateHelper_->setObjectName(QStringLiteral("updateHelper"));
    connect(updateHelper_, &QAbstractButton::clicked, this, [this] { model_.updateHelper(); });
    line->addWidget(daemonText_, 0, Qt::AlignVCenter | Qt::AlignLeft);
    line->addWidget(updateHelper_, 0, Qt::AlignVCenter | Qt::AlignLeft);
    line->addStretch(1);
    layout->addWidget(daemonRow_);
    return block;
}

QWidget* SettingsView::makeFooter() {
    auto* footer = new QWidget(this);
    auto* layout = row(footer);
    auto* credits = new QWidget(footer);
    auto* lines = new QVBoxLayout(credits);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(6);
    lines->addWidget(
        makeLabel(QStringLiteral("Made by the MAVU team"), systemFont(11), ink(scheme_), credits));
    auto* contact = new TextButton(QStringLiteral("Get in touch"), systemFont(11),
                                   primaryLabel(scheme_), credits);
    contact->setObjectName(QStringLiteral("contact"));
    contact->setToolTip(QStringLiteral("Write to the MAVU team"));
    connect(contact, &QAbstractButton::clicked, this,
            [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kContactUrl))); });
    lines->addWidget(contact);
    layout->addWidget(credits, 0, Qt::AlignBottom);
    layout->addStretch(1);
    auto* character = new ImageView(isDark(scheme_) ? QStringLiteral("CharacterAwakeSettingsDark")
                                                    : QStringLiteral("CharacterAwakeSettingsLight"),
                                    QSize(122, 96), footer);
    character->setObjectName(QStringLiteral("character"));
    layout->addWidget(character, 0, Qt::AlignBottom);
    return footer;
}

void SettingsView::makeAlerts() {
    using Role = SheetAlert::Role;
    uninstallConfirm_ = new SheetAlert(
        QStringLiteral("Uninstall MAVU?"),
        QStringLiteral("This removes MAVU's privileged helper daemon and turns off Launch at "
                       "Login. The app itself will not be deleted."),
        {{QStringLiteral("Uninstall"), Role::destructive,
          [this] {
              model_.setShowUninstallConfirm(false);
              model_.uninstall();
          }},
         {QStringLiteral("Cancel"), Role::cancel,
          [this] { model_.setShowUninstallConfirm(false); }}},
        scheme_, this);
    uninstallConfirm_->setObjectName(QStringLiteral("uninstallConfirm"));
    uninstallDone_ = new SheetAlert(
        QStringLiteral("MAVU Uninstalled"),
        QStringLiteral("The helper and login item have been removed. You can now move MAVU to "
                       "the Trash."),
        {{QStringLiteral("Quit MAVU"), Role::normal,
          [this] {
              model_.setShowUninstallDone(false);
              model_.quit();
          }},
         {QStringLiteral("OK"), Role::cancel, [this] { model_.setShowUninstallDone(false); }}},
        scheme_, this);
    uninstallDone_->setObjectName(QStringLiteral("uninstallDone"));
}

void SettingsView::makeHiddenKeys() {
    // Ctrl+Q quits as the tray menu's Quit does; Escape closes the sheet as it closes any
    // popup (the recorder and the alerts keep Escape while they need it). Both hold while
    // the sheet's window is active, also when the sheet is scaled inside a graphics view.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    quit->setContext(Qt::WindowShortcut);
    connect(quit, &QShortcut::activated, this, [this] { model_.quit(); });
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    close->setContext(Qt::WindowShortcut);
    connect(close, &QShortcut::activated, this, [this] { model_.setShowSettings(false); });
}

void SettingsView::subscribe() {
    subscriptions_.push_back(model_.appearance().subscribe([this](AppearancePreference current) {
        for (AppearanceTile* tile : tiles_) {
            tile->setSelected(tile->property("preference").toInt() == static_cast<int>(current));
        }
    }));
    subscriptions_.push_back(
        model_.launchAtLoginEnabled().subscribe([this](bool on) { launchAtLogin_->setOn(on); }));
    subscriptions_.push_back(
        model_.autoCheckForUpdates().subscribe([this](bool on) { autoCheck_->setOn(on); }));
    subscriptions_.push_back(model_.shortcut().subscribe(
        [this](const shortcut::KeyCombo& combo) { recorder_->setCombo(combo); }));
    const auto daemon = [this](const auto&) { showDaemonLine(); };
    subscriptions_.push_back(model_.helperVersion().subscribe(daemon));
    subscriptions_.push_back(model_.helperBuild().subscribe(daemon));
    subscriptions_.push_back(model_.helperVersionUnknown().subscribe(daemon));
    subscriptions_.push_back(model_.isRestartingHelper().subscribe(daemon));
    subscriptions_.push_back(model_.showUninstallConfirm().subscribe(
        [this](bool shown) { uninstallConfirm_->setVisible(shown); }));
    subscriptions_.push_back(model_.showUninstallDone().subscribe(
        [this](bool shown) { uninstallDone_->setVisible(shown); }));
}

void SettingsView::showDaemonLine() {
    const auto line = daemonLine(*model_.helperVersion(), *model_.helperBuild(),
                                 *model_.helperVersionUnknown(), appBuild_);
    daemonRow_->setVisible(line.has_value());
    if (!line) {
        return;
    }
    const bool restarting = *model_.isRestartingHelper();
    daemonText_->setText(text(line->text) + (line->outdated ? QStringLiteral(" — outdated") : ""));
    setLabelColor(daemonText_, line->outdated ? accentRed() : withOpacity(ink(scheme_), 0.7));
    updateHelper_->setVisible(line->outdated);
    updateHelper_->setText(restarting ? QStringLiteral("Updating…")
                                      : QStringLiteral("Update Helper"));
    updateHelper_->setEnabled(!restarting);
    updateHelper_->updateGeometry();
    // One row where text and button fit side by side; where they do not (a long version,
    // a wide desktop font) the button goes under the text rather than split the text.
    const int width = static_cast<int>(kSettingsSheetWidth) - 2 * kSideMargin;
    const int textWidth = QFontMetrics(daemonText_->font()).horizontalAdvance(daemonText_->text());
    const int needed = textWidth + 8 + updateHelper_->sizeHint().width();
    daemonText_->setWordWrap(textWidth > width);
    const bool sideBySide = !line->outdated || needed <= width;
    daemonLayout_->setDirection(sideBySide ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    daemonLayout_->setSpacing(sideBySide ? 8 : 5);
}

void SettingsView::showEvent(QShowEvent* event) {
    // Keys reach the sheet (Tab to its controls) when nothing inside has the focus yet.
    if (focusWidget() == nullptr) {
        setFocus(Qt::OtherFocusReason);
    }
    QWidget::showEvent(event);
}

void SettingsView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(withOpacity(primaryLabel(scheme_), isDark(scheme_) ? 0.12 : 0.18), 1));
    painter.setBrush(panelBackground(scheme_));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5),
                            kSettingsSheetCornerRadius, kSettingsSheetCornerRadius);
}

}  // namespace mavu::ui
