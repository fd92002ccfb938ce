#pragma once

#include <chrono>
#include <functional>

#include <QApplication>

namespace mavu::testing {

// One QApplication for the whole test program, kept until exit on purpose: Qt must not
// be torn down by static destructors. The offscreen platform comes from the environment.
inline void ensureQtApplication() {
    static int argc = 1;
    static char name[] = "updater_tests";
    static char* argv[] = {name, nullptr};
    static auto* application = new QApplication(argc, argv);
    (void)application;
}

// Serves the Qt event loop until done() holds or the bound passes; returns done().
inline bool processEventsUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

}  // namespace mavu::testing
