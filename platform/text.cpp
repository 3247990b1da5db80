// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/text.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <array>
#include <vector>

namespace platform {
namespace {

// Per-byte and per-pair tables, filled once from Qt's windows-31j codec.
// 0 marks a byte or pair the code page does not map.
struct Tables {
  std::array<char16_t, 256> single{};
  std::vector<char16_t> pair = std::vector<char16_t>(65536, 0);

  Tables() {
    QByteArray bytes;
    for (int b = 0; b < 256; ++b) {
      if (!isLeadByte(static_cast<unsigned char>(b))) bytes.append(static_cast<char>(b));
    }
    QStringDecoder singles("windows-31j", QStringDecoder::Flag::Stateless);
    const QString s = singles(bytes);
    if (s.size() == bytes.size()) {
      for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const char16_t c = s[i].unicode();
        // The codec answers SUB (0x1A) for unmapped bytes; only 0x1A itself means it.
        single[b] = (c == 0x1A && b != 0x1A) ? 0 : c;
      }
    }
    // Bytes Windows' own table leaves to the application: decoded as the common
    // reference codec does, so that no byte is lost.
    single[0x80] = 0x0080;
    single[0xA0] = 0xF8F0;
    single[0xFD] = 0xF8F1;
    single[0xFE] = 0xF8F2;
    single[0xFF] = 0xF8F3;

    QByteArray pairs;
    std::vector<int> codes;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
      if (!isLeadByte(static_cast<unsigned char>(lead))) continue;
      for (int trail = 0x40; trail <= 0xFC; ++trail) {
        if (!isTrailByte(static_cast<unsigned char>(trail))) continue;
        pairs.append(static_cast<char>(lead));
        pairs.append(static_cast<char>(trail));
        codes.push_back(lead << 8 | trail);
      }
    }
    QStringDecoder doubles("windows-31j", QStringDecoder::Flag::Stateless);
    const QString d = doubles(pairs);
    if (static_cast<size_t>(d.size()) == codes.size()) {
      for (size_t i = 0; i < codes.size(); ++i) {
        const char16_t c = d[static_cast<qsizetype>(i)].unicode();
        pair[codes[i]] = (c == 0x1A || c == 0xFFFD) ? 0 : c;
      }
    }
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

}  // namespace

QString decodeAnsi(QByteArrayView bytes) {
  const Tables& t = tables();
  const qsizetype n = bytes.size();
  // Written straight into the buffer: every line the reader passes over comes here.
  QString out(n, Qt::Uninitialized);
  char16_t* d = reinterpret_cast<char16_t*>(out.data());
  char16_t* const start = d;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (qsizetype i = 0; i < n; ++i) {
    const unsigned char b = p[i];
    if (b < 0x80) {
      *d++ = b;
    } else if (isLeadByte(b)) {
      // An unmapped pair is one replacement for both bytes, as Windows decodes it: were
      // the second byte decoded afresh it could open a character of its own and
      // swallow the byte after the pair. A second byte that cannot be a trail byte
      // (a control character, space, digit, quote, comma...) is left to stand alone.
      const unsigned char next = (i + 1 < n) ? p[i + 1] : 0;
      const char16_t c = (i + 1 < n) ? t.pair[b << 8 | next] : 0;
      *d++ = c != 0 ? c : kReplacementChar;
      if (c != 0 || (i + 1 < n && isTrailByte(next))) ++i;
    } else {
      const char16_t c = t.single[b];
      *d++ = c != 0 ? c : kReplacementChar;
    }
  }
  out.truncate(d - start);
  return out;
}

QByteArray encodeAnsi(const QString& text) {
  QStringEncoder enc("windows-31j", QStringEncoder::Flag::Stateless);
  return enc(text);
}

}  // namespace platform
