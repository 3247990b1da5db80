// SPDX-License-Identifier: GPL-3.0-or-later
// Picture files on arbitrary bytes through the stage's loader, every format it reads:
// a picture or error 481, within the loader's memory limit.
#include <QGuiApplication>
#include <QImageReader>
#include <array>
#include <utility>

#include "fuzz/fuzz_support.h"
#include "platform/picture.h"
#include "platform/runtime_error.h"

namespace {

// Qt's decoders are not instrumented, so libFuzzer sees the same few edges for every
// picture and would keep two inputs in all. One marker function per format and outcome
// lets it keep an input for each.
const QByteArrayList kFormats = {"bmp", "gif", "ico", "jpeg", "png", "pbm", "pgm", "ppm", "xbm", "xpm"};

template <int N>
__attribute__((noinline)) void mark() {
  [[maybe_unused]] static volatile int hit;
  hit = N;
}
// Two per format (not loaded, loaded), the first pair for bytes in no format.
constexpr auto kMarkers = []<std::size_t... N>(std::index_sequence<N...>) {
  return std::array{mark<int(N)>...};
}(std::make_index_sequence<2 * 11>());

}  // namespace

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
  bool loaded = true;
  try {
    platform::loadPicture(QStringLiteral("picture"));
  } catch (const platform::RuntimeError& e) {
    if (e.number() != platform::err::InvalidPicture) std::abort();
    loaded = false;
  }
  const int format = int(kFormats.indexOf(QImageReader::imageFormat(QStringLiteral("PICTURE")))) + 1;
  kMarkers[std::size_t(2 * format + (loaded ? 1 : 0))]();
  return 0;
}
