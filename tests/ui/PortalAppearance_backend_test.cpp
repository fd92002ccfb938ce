// The portal's colour scheme, played by python-dbusmock on a private session bus.
#include "platform/appearance/PortalAppearance.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusConnectionInterface>
#include <QtDBus/QDBusMessage>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestSystemBus.h"

namespace mavu::appearance {
namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");

bool serveUntil(const std::function<bool()>& done,
                std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    return testing::eventually(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            return done();
        },
        bound);
}

// A portal of the given parameters while the handle lives.
std::shared_ptr<void> startPortal(const std::string& parameters) {
    const pid_t pid = testing::startProcess(
        "/usr/bin/python3",
        {"-m", "dbusmock", "--template", std::string(MAVU_TEST_SOURCE_DIR) + "/portal_template.py",
         "-p", parameters});
    const auto registered = [] {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(kPortal).value();
    };
    serveUntil(registered);
    return std::shared_ptr<void>(nullptr, [pid, registered](void*) {
        testing::endProcess(pid);
        // The name goes with the process; wait, so the next portal starts without it.
        serveUntil([&] { return !registered(); });
    });
}

TEST(PortalAppearance, FollowsThePortalAndFallsBackToThePalette) {
    testing::TestSystemBus bus;  // the session bus too
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(bus.address()));
    int argc = 1;
    char name[] = "ui_backend_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    const auto session = QDBusConnection::sessionBus();
    {
        // No portal at all: the palette (the test platform's is light), quietly.
        PortalAppearance source(session);
        serveUntil([] { return false; }, std::chrono::milliseconds(300));
        EXPECT_EQ(source.current(), ColorScheme::light);
    }
    {
        const auto portal = startPortal(R"({"scheme": 1})");
        PortalAppearance source(session);
        std::vector<ColorScheme> changes;
        source.setChangeHandler([&](ColorScheme s) { changes.push_back(s); });
        EXPECT_TRUE(serveUntil([&] { return source.current() == ColorScheme::dark; }));
        for (const uint value : {2u, 1u, 0u}) {
            auto call = QDBusMessage::createMethodCall(
                kPortal, QStringLiteral("/org/freedesktop/portal/desktop"),
                QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SetScheme"));
            QDBusConnection::sessionBus().call(call << value);
        }
        EXPECT_TRUE(serveUntil([&] { return changes.size() == 4; }));
        EXPECT_EQ(changes, (std::vector<ColorScheme>{ColorScheme::dark, ColorScheme::light,
                                                     ColorScheme::dark, ColorScheme::light}));
    }
    // A portal of the first version answers Read with a variant in a variant.
    const auto portal = startPortal(R"({"scheme": 1, "old": true})");
    PortalAppearance source(session);
    EXPECT_TRUE(serveUntil([&] { return source.current() == ColorScheme::dark; }));
}

}  // namespace
}  // namespace mavu::appearance
