// SPDX-License-Identifier: GPL-3.0-or-later
// Picture files on arbitrary bytes through the stage's loader, every format it reads:
// a picture or error 481, within the loader's memory limit.
#include <QGuiApplication>

#include "fuzz/fuzz_support.h"
#include "platform/picture.h"
#include "platform/runtime_error.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static kivo_fuzz::WorkFolder folder;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_LOGGING_RULES", "qt.gui.imageio*=false");
  // Never destroyed: Qt's own statics are gone by the time a static would be.
  static int argc = 1;
  static char name[] = "fuzz_picture";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kivo_fuzz::writeFile("PICTURE", data, size);
  try {
    platform::loadPicture(QStringLiteral("picture"));
  } catch (const platform::RuntimeError& e) {
    if (e.number() != platform::err::InvalidPicture) std::abort();
  }
  return 0;
}
