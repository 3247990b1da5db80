// SPDX-License-Identifier: GPL-3.0-or-later
// Line input and comma-field input on arbitrary bytes: every call either returns and
// moves on, or is error 62 at the end of the file.
#include "fuzz/fuzz_support.h"
#include "platform/input.h"
#include "platform/runtime_error.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static kivo_fuzz::WorkFolder folder;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kivo_fuzz::writeFile("IN.TXT", data, size);
  platform::SequentialInput input;
  // Three readings: lines only, fields only, and both in the order the bytes' bits say.
  for (int mode = 0; mode < 3; ++mode) {
    input.open(QStringLiteral("in.txt"));
    std::size_t calls = 0;
    for (;;) {
      const bool lines = mode == 0 || (mode == 2 && calls < size && (data[calls] & 1));
      const bool atEnd = input.atEnd();
      try {
        if (lines) input.lineInput();
        else input.fieldInput();
      } catch (const platform::RuntimeError& e) {
        if (e.number() != platform::err::InputPastEnd || !atEnd) std::abort();
        break;
      }
      if (atEnd) std::abort();            // read past the end without error 62
      if (++calls > size) std::abort();   // a call that consumed nothing
    }
    input.closeAll();
  }
  return 0;
}
