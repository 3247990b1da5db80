// SPDX-License-Identifier: GPL-3.0-or-later
// A whole programme on arbitrary bytes: the bytes are KIVO.001, played from the cast
// table through the item loop on the engine's fake stage and virtual clock. A viewer
// answers on their own: keys and clicks for the holds, with one jump to the menu and a
// switch to automatic speech, and every menu button in turn. The run must end normally
// or with a run-time error; the viewer's patience and the virtual time bound the rest.
#include <stdexcept>

#include "fuzz/fuzz_support.h"
#include "tests/engine/fake_world.h"

constexpr int kHolds = 10;        // holds the viewer answers; bounds the lines shown
constexpr int kMenuPresses = 8;   // menu presses: each button once; bounds the sections run

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static kivo_fuzz::WorkFolder folder;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kivo_fuzz::writeFile("KIVO.001", data, size);
  kivo_test::FakeWorld w;
  platform::trace::setEnabled(false);  // speed: the trace is tested elsewhere
  w.limit = 5 * 1000;
  w.reactionDelay = 50;
  w.pictures = {{"A.BMP", {1500, 1500}}, {"B.BMP", {1500, 1500}}, {"WIDE.GIF", {9000, 300}}, {"DOT.JPG", {15, 15}}};
  w.state.scenarioPath = QStringLiteral("KIVO.001");
  for (int i = 0; i < kHolds; ++i) {
    w.onHold([&w, i] {
      if (i == 5) w.events.jumpToMenu();
      else if (i == 8) w.toggleAuto();
      else if (i % 4 == 3) w.events.captionClicked();
      else w.events.keyDown(32, 0);
    });
  }
  for (int i = 0; i < kMenuPresses; ++i) {
    w.onMenu([&w, i] {
      for (int k = 0; k < engine::kButtonCount; ++k) {
        const int button = (i + k) % engine::kButtonCount;
        if (w.buttonVisible[button]) return w.events.buttonClicked(button, w.buttonCaption[button]);
      }
    });
  }
  try {
    w.engine.runProgramme();
  } catch (const platform::RuntimeError&) {
    // The programme's own fault, reported to the viewer: a normal end here.
  } catch (const std::runtime_error&) {
    // The fake world's bounds: the viewer stopped answering or the virtual time ran out.
  }
  return 0;
}
