#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <functional>
#include <memory>

namespace mavu::testing {

// One QApplication for every test of a program that includes this header, made before the
// first and destroyed after the last test, ahead of the program's exit handlers (Qt's input
// devices do not survive a QApplication destroyed as a static). The platform comes from the
// environment.
class QtTestApplication : public ::testing::Environment {
  public:
    void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[10] = "mavu-test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const qtTestApplication =
    ::testing::AddGlobalTestEnvironment(new QtTestApplication);

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
