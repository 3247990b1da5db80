// SPDX-License-Identifier: GPL-3.0-or-later
// CP932 decoding and Windows-style name lookup on arbitrary bytes.
#include <QString>
#include <fstream>

#include "fuzz/fuzz_support.h"
#include "platform/files.h"
#include "platform/text.h"

// A folder with names the lookup has to tell apart: letter cases, a Shift-JIS name, a
// subfolder, a name with a trailing dot.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static kivo_fuzz::WorkFolder folder;
  for (const char* name : {"KIVO.001", "kivo.002", "Kivo.002", "\x8a\xe7.BMP", "\xb1\xb2.txt", "dot.", "x"})
    std::ofstream(name) << "x";
  std::filesystem::create_directory("Sub");
  std::ofstream("Sub/Inner.WAV") << "x";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes = kivo_fuzz::bytes(data, size);
  const QString text = platform::decodeAnsi(bytes);
  // Every character comes from one byte or a pair: nothing is lost or invented.
  if (text.size() > bytes.size() || 2 * text.size() < bytes.size()) std::abort();
  platform::encodeAnsi(text);
  platform::decodeFileName(std::string(bytes.data(), size));
  // The lookup stays inside the folder: a way out would only scan the machine's disks.
  if (!text.contains(QStringLiteral("..")) && !text.startsWith(u'/') && !text.startsWith(u'\\'))
    platform::resolvePath(text);
  return 0;
}
