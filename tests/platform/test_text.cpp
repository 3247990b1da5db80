// SPDX-License-Identifier: GPL-3.0-or-later
// CP932 decoding checked against a reference table written by an independent codec
// (tools/cp932_table.py). The table lists what every single byte and every
// lead/second-byte pair decodes to, or that the sequence is rejected.
#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <vector>

#include "platform/text.h"

namespace {

constexpr char16_t kRejected = 0xFFFF;

bool isLead(int b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// table[b] for a single byte, table[lead << 8 | second] for a pair; kRejected elsewhere.
const std::vector<char16_t>& reference() {
  static const std::vector<char16_t> table = [] {
    std::vector<char16_t> t(65536, kRejected);
    QFile f(QStringLiteral(KIVO_SOURCE_DIR "/tests/platform/data/cp932_reference.bin"));
    if (!f.open(QIODevice::ReadOnly)) return std::vector<char16_t>();
    const QByteArray raw = f.readAll();
    if (raw.size() != 2 * 256 * (1 + 60)) return std::vector<char16_t>();
    auto unit = [&](qsizetype i) { return char16_t(uchar(raw[2 * i]) | uchar(raw[2 * i + 1]) << 8); };
    for (int b = 0; b < 256; ++b) t[b] = unit(b);
    int row = 1;
    for (int lead = 0; lead < 256; ++lead)
      if (isLead(lead)) {
        for (int s = 0; s < 256; ++s) t[lead << 8 | s] = unit(256 * row + s);
        ++row;
      }
    return t;
  }();
  return table;
}

// What a byte string should decode to. The reference codec rejects a whole unmapped pair
// but then resumes at its second byte, which may open a character of its own and swallow
// the byte after the pair. We keep Windows' rule instead: a lead byte and a byte from the
// trail range are one character, one replacement when unmapped; a lead byte before any
// other byte is replaced alone.
QString expected(const QByteArray& bytes) {
  const auto& t = reference();
  QString out;
  const auto* p = reinterpret_cast<const uchar*>(bytes.data());
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const char16_t pair = i + 1 < bytes.size() && isLead(p[i]) ? t[p[i] << 8 | p[i + 1]] : kRejected;
    if (pair != kRejected || (i + 1 < bytes.size() && isLead(p[i]) && platform::isTrailByte(p[i + 1]))) {
      out += QChar(pair == kRejected ? platform::kReplacementChar : pair);
      ++i;
    } else {
      out += QChar(t[p[i]] == kRejected ? platform::kReplacementChar : t[p[i]]);
    }
  }
  return out;
}

// Every single byte, every lead byte with every second byte, each alone and before "A":
// this covers a lead byte at the end, one before CR, "," or a quote (which must not be
// eaten), an unmapped pair (one character: its second byte opens nothing) and the
// second byte 0x5C of many kanji.
TEST(Cp932, EveryByteAndLeadPairMatchesTheReference) {
  ASSERT_FALSE(reference().empty()) << "tests/platform/data/cp932_reference.bin missing or of the wrong size";
  EXPECT_EQ(reference()[0x955C], u'\u8868');  // the table is the code page it claims to be
  int mismatches = 0, mapped = 0;
  auto check = [&](const QByteArray& bytes) {
    for (const QByteArray& b : {bytes, bytes + "A"}) {
      const QString got = platform::decodeAnsi(b), want = expected(b);
      if (got != want && ++mismatches <= 40)
        ADD_FAILURE() << b.toHex(' ').toStdString() << ": got " << got.toStdString() << ", want " << want.toStdString();
    }
  };
  for (int b = 0; b < 256; ++b) check(QByteArray(1, char(b)));
  for (int lead = 0x81; lead <= 0xFC; ++lead)
    for (int second = 0; second < 256 && isLead(lead); ++second) {
      mapped += reference()[lead << 8 | second] != kRejected;
      check(QByteArray(1, char(lead)) + char(second));
    }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(mapped, 9000);  // a table that maps almost nothing would make this test vacuous
  // The same rules without the product's own byte classes behind the expectation.
  const QString dot(QChar(platform::kReplacementChar));
  for (char c : {'\r', '\n', ',', '"'}) EXPECT_EQ(platform::decodeAnsi(QByteArray("\x82") + c), dot + c);
  EXPECT_EQ(platform::decodeAnsi(QByteArray("\x85\x82\xA0")), dot + QChar(0xF8F0));  // not dot + "あ"
}

}  // namespace
