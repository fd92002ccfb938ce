#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace mavu::testing {

// One QApplication for every test of a program, made before the first and destroyed after
// the last test, ahead of the program's exit handlers (Qt's input devices do not survive a
// QApplication destroyed as a static). Register it once per program:
//   const auto* const qt = ::testing::AddGlobalTestEnvironment(new QtTestApplication);
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

}  // namespace mavu::testing
