// The real desktop pieces: the portal's colour scheme on a private session bus, and the
// tray icon, popover and menu under Xvfb with trayer as the tray host.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusConnectionInterface>
#include <QtDBus/QDBusMessage>

#include "app/ui/AppDelegate.h"
#include "platform/appearance/PortalAppearance.h"
#include "tests/client/PrivateBus.h"
#include "tests/hotkey/XvfbServer.h"
#include "tests/model/ModelWorld.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeSystemAppearance.h"

namespace mavu::ui {
namespace {

using appearance::ColorScheme;
using appearance::PortalAppearance;
using mavu::testing::startProcess;

// One X server, session bus and Qt application (xcb) for the whole program.
struct Desktop {
    Desktop() {
        qputenv("DISPLAY", QByteArray::fromStdString(xvfb.display()));
        qputenv("QT_QPA_PLATFORM", "xcb");
        static int argc = 1;
        static char name[] = "ui_backend_tests";
        static char* argv[] = {name, nullptr};
        application = new QApplication(argc, argv);
    }
    mavu::testing::XvfbServer xvfb{"1280x800x24"};
    mavu::testing::PrivateBus bus;
    QApplication* application;
};

Desktop& desktop() {
    static auto* shared = new Desktop;  // kept to the end: Qt must not be torn down late
    return *shared;
}

bool serveUntil(const std::function<bool()>& done,
                std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        // No event loop runs here, so what was deleted later is deleted now.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return done();
}

// A portal played by python-dbusmock for one test.
class Portal {
  public:
    explicit Portal(const std::string& parameters) {
        pid_ = startProcess(
            "/usr/bin/python3",
            {"-m", "dbusmock", "--template",
             std::string(MAVU_TEST_SOURCE_DIR) + "/portal_template.py", "-p", parameters});
        bus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
            qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("portal-test")));
        serveUntil([this] {
            return bus_->interface()->isServiceRegistered(
                QStringLiteral("org.freedesktop.portal.Desktop"));
        });
    }
    ~Portal() {
        mavu::testing::endProcess(pid_);
        // The name goes with the process; wait, so the next test starts without it.
        serveUntil([this] {
            return !bus_->interface()->isServiceRegistered(
                QStringLiteral("org.freedesktop.portal.Desktop"));
        });
        bus_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("portal-test"));
    }
    QDBusConnection& bus() { return *bus_; }
    void setScheme(uint value) {
        auto call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.portal.Desktop"),
            QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SetScheme"));
        call << value;
        bus_->call(call);
    }

  private:
    pid_t pid_ = -1;
    std::unique_ptr<QDBusConnection> bus_;
};

TEST(PortalAppearance, FollowsThePortalAndFallsBackToThePalette) {
    desktop();
    // The test platform's palette is light, so a portal without preference reads light.
    ASSERT_EQ(appearance::schemeFromPalette(), ColorScheme::light);
    {
        Portal portal(R"({"scheme": 1})");
        PortalAppearance source(portal.bus());
        std::vector<ColorScheme> changes;
        source.setChangeHandler([&](ColorScheme s) { changes.push_back(s); });
        EXPECT_TRUE(serveUntil([&] { return source.current() == ColorScheme::dark; }));
        portal.setScheme(2);
        EXPECT_TRUE(serveUntil([&] { return changes.size() == 2; }));
        portal.setScheme(1);
        portal.setScheme(0);
        EXPECT_TRUE(serveUntil([&] { return changes.size() == 4; }));
        EXPECT_EQ(changes, (std::vector<ColorScheme>{ColorScheme::dark, ColorScheme::light,
                                                     ColorScheme::dark, ColorScheme::light}));
    }
    {
        // A portal of the first version answers Read with a variant in a variant.
        Portal portal(R"({"scheme": 1, "old": true})");
        PortalAppearance source(portal.bus());
        EXPECT_TRUE(serveUntil([&] { return source.current() == ColorScheme::dark; }));
    }
    {
        // No portal at all: the palette, quietly.
        auto bus = QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"),
                                                 QStringLiteral("no-portal"));
        PortalAppearance source(bus);
        serveUntil([] { return false; }, std::chrono::milliseconds(300));
        EXPECT_EQ(source.current(), ColorScheme::light);
    }
}

// Clicks on the real X server, as a person would.
void clickAt(QPoint at, int button) {
    mavu::testing::runProcess("xdotool", {"mousemove", std::to_string(at.x()),
                                          std::to_string(at.y()), "click", std::to_string(button)});
}

TEST(TrayIcon, OpensThePopoverOnALeftClickAndTheMenuOnARightClick) {
    desktop();
    const pid_t trayer =
        startProcess("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                "--width", "48", "--heighttype", "pixel", "--height", "28"});
    mavu::testing::ModelWorld world;
    AppDelegate delegate({
        .makeModel = [&world](auto) { return world.launch(), world.model; },
        .appearance = std::make_unique<mavu::testing::FakeSystemAppearance>(ColorScheme::light),
        .endProcess = [] {},
    });
    delegate.applicationDidFinishLaunching();
    QSystemTrayIcon* icon = delegate.statusItem();
    ASSERT_TRUE(serveUntil([&] { return icon->geometry().width() > 0; }))
        << "the tray host never embedded the icon";
    EXPECT_EQ(icon->toolTip(), "MAVU is off");
    serveUntil([] { return false; }, std::chrono::milliseconds(200));
    const QPoint middle = icon->geometry().center();

    clickAt(middle, 1);
    ASSERT_TRUE(serveUntil([&] { return delegate.popover().isShown(); }));
    QWidget* window = delegate.popover().window();
    EXPECT_EQ(window->size(), QSize(408, 503));
    // Below the icon of a top panel, inside the screen.
    EXPECT_GE(window->geometry().top(), icon->geometry().bottom());
    EXPECT_TRUE(window->screen()->geometry().contains(window->geometry()));

    // The settings sheet stacks above it, top edges aligned, and is built anew for a new
    // scheme.
    delegate.model().setShowSettings(true);
    ASSERT_TRUE(serveUntil(
        [&] { return delegate.popover().sheet() && delegate.popover().sheet()->isVisible(); }));
    QWidget* sheet = delegate.popover().sheet();
    EXPECT_EQ(sheet->geometry().top(), window->geometry().top());
    EXPECT_EQ(sheet->geometry().center().x(), window->geometry().center().x());
    QPointer<QWidget> content = sheet->findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    delegate.model().setAppearance(app::AppearancePreference::dark);
    EXPECT_TRUE(serveUntil([&] { return content.isNull(); }));
    EXPECT_TRUE(sheet->isVisible());
    clickAt({40, 700}, 1);  // outside both: closes the sheet and the popover
    EXPECT_TRUE(serveUntil([&] { return !delegate.popover().isShown(); }));
    EXPECT_FALSE(delegate.model().showSettings().get());

    clickAt(middle, 3);
    ASSERT_TRUE(serveUntil([&] { return delegate.menu() && delegate.menu()->isVisible(); }));
    EXPECT_FALSE(delegate.popover().isShown());
    QStringList entries;
    for (QAction* action : delegate.menu()->actions()) {
        entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    EXPECT_EQ(entries,
              (QStringList{"Open MAVU", "Turn On", "-", "Check for Updates…", "-", "Quit MAVU"}));
    delegate.menu()->close();
    mavu::testing::endProcess(trayer);
}

}  // namespace
}  // namespace mavu::ui
