// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh temporary folder that is the current directory while it lives.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <fstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

#include "platform/text.h"

namespace kivo_test {

// Scenario files are written as CP932 with CR LF.
class ScenarioDir {
 public:
  ScenarioDir() : old_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
  ~ScenarioDir() { QDir::setCurrent(old_); }
  void write(const QString& name, const QStringList& lines, const char* eol = "\r\n") {
    QByteArray bytes;
    for (const QString& l : lines) bytes += platform::encodeAnsi(l) + eol;
    writeBytes(name, bytes);
  }
  void writeBytes(const QString& name, const QByteArray& bytes) {
    QFile f(dir_.filePath(name));
    if (!f.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write test file");
    f.write(bytes);
  }
  QString path() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
  QString old_;
};

}  // namespace kivo_test

// The same as a fixture, with helpers that create files under names given as raw bytes
// (so Shift-JIS names can be made on a UTF-8 file system).
class TempFolderTest : public ::testing::Test {
 protected:
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
  kivo_test::ScenarioDir dir_;
  std::string root_ = dir_.path().toStdString();
};
