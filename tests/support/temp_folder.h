// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh temporary folder that is the current directory while the test runs, with
// helpers that create files under names given as raw bytes (so Shift-JIS names can
// be made on a UTF-8 file system).
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    char buf[4096];
    ASSERT_NE(::getcwd(buf, sizeof buf), nullptr);
    saved_ = buf;
    root_ = dir_.path().toStdString();
    ASSERT_EQ(::chdir(root_.c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(::chdir(saved_.c_str()), 0); }

  // Path relative to the temporary folder, bytes as given.
  void writeFile(const std::string& rel, const std::string& content) {
    std::ofstream f(root_ + "/" + rel, std::ios::binary);
    ASSERT_TRUE(f.good()) << rel;
    f << content;
  }
  void makeFolder(const std::string& rel) { ASSERT_EQ(::mkdir((root_ + "/" + rel).c_str(), 0755), 0) << rel; }
  static std::string contentOf(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }

  const std::string& root() const { return root_; }

 private:
  QTemporaryDir dir_;
  std::string saved_;
  std::string root_;
};
