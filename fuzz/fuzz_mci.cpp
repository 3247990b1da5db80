// SPDX-License-Identifier: GPL-3.0-or-later
// MCI command strings on arbitrary bytes through the pure parser, as the sequencer
// receives them: narrow text in the ANSI code page.
#include "fuzz/fuzz_support.h"
#include "sound/mci_command.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sound::winmm;
  const auto parsed = mci::parseCommand(platform::decodeAnsi(QByteArrayView(data, qsizetype(size))));
  // A refusal is never "success".
  if (const MCIERROR* code = std::get_if<MCIERROR>(&parsed); code && *code == mci::kOk) std::abort();
  return 0;
}
