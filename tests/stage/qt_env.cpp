// SPDX-License-Identifier: GPL-3.0-or-later
// One QApplication for every test of this executable.
#include <QApplication>
#include <gtest/gtest.h>

#include <optional>

namespace {

char name[] = "qt_tests";
char* argv[] = {name, nullptr};
int argc = 1;

// Made once the tests start: Qt cannot start during static initialisation.
struct QtEnvironment : ::testing::Environment {
  void SetUp() override { app.emplace(argc, argv); }
  void TearDown() override { app.reset(); }
  std::optional<QApplication> app;
};

[[maybe_unused]] auto* const env = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
