// CP932 decoding checked against a reference table written by an independent codec
// (tools/cp932_table.py). The table lists what every single byte and every
// lead/second-byte pair decodes to, or that the sequence is rejected.
#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <array>
#include <vector>

#include "platform/text.h"

namespace {

constexpr char16_t kRejected = 0xFFFF;

std::vector<int> leadBytes() {
  std::vector<int> leads;
  for (int b = 0x81; b <= 0x9F; ++b) leads.push_back(b);
  for (int b = 0xE0; b <= 0xFC; ++b) leads.push_back(b);
  return leads;
}

class Cp932Reference {
 public:
  Cp932Reference() {
    QFile f(QStringLiteral(KIVO_SOURCE_DIR "/tests/platform/data/cp932_reference.bin"));
    if (!f.open(QIODevice::ReadOnly)) return;
    const QByteArray raw = f.readAll();
    const auto leads = leadBytes();
    if (raw.size() != qsizetype(2 * 256 * (1 + leads.size()))) return;
    auto unit = [&](qsizetype i) {
      return char16_t(static_cast<unsigned char>(raw[2 * i]) | static_cast<unsigned char>(raw[2 * i + 1]) << 8);
    };
    for (int b = 0; b < 256; ++b) single_[b] = unit(b);
    pair_.assign(65536, kRejected);
    for (size_t l = 0; l < leads.size(); ++l)
      for (int s = 0; s < 256; ++s) pair_[leads[l] << 8 | s] = unit(qsizetype(256 * (l + 1) + s));
    loaded_ = true;
  }

  bool loaded() const { return loaded_; }
  char16_t single(int b) const { return single_[b]; }
  char16_t pair(int lead, int second) const { return pair_[lead << 8 | second]; }

  // What a byte string should decode to. The reference codec rejects a whole
  // unmapped pair but then resumes at its second byte, which may open a character of
  // its own and swallow the byte after the pair. We keep Windows' rule instead: a
  // lead byte and a byte from the trail range are one character, one replacement when
  // unmapped; a lead byte before any other byte is replaced alone.
  QString expected(const QByteArray& bytes) const {
    QString out;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
      if (i + 1 < bytes.size() && pair(p[i], p[i + 1]) != kRejected) {
        out += QChar(pair(p[i], p[i + 1]));
        ++i;
      } else if (i + 1 < bytes.size() && platform::isLeadByte(p[i]) && platform::isTrailByte(p[i + 1])) {
        out += QChar(platform::kReplacementChar);
        ++i;
      } else if (single(p[i]) != kRejected) {
        out += QChar(single(p[i]));
      } else {
        out += QChar(platform::kReplacementChar);
      }
    }
    return out;
  }

 private:
  bool loaded_ = false;
  std::array<char16_t, 256> single_{};
  std::vector<char16_t> pair_;
};

const Cp932Reference& reference() {
  static const Cp932Reference r;
  return r;
}

QString hex(const QByteArray& b) { return QString::fromLatin1(b.toHex(' ')); }

QString codes(const QString& s) {
  QStringList parts;
  for (QChar c : s) parts << QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
  return parts.join(u' ');
}

// Collects mismatches so that one run reports them all at once (up to a limit).
struct Mismatches {
  QStringList lines;
  int count = 0;
  void check(const QByteArray& in, const QString& want) {
    const QString got = platform::decodeAnsi(in);
    if (got == want) return;
    if (++count <= 40) lines << QStringLiteral("%1: got %2, want %3").arg(hex(in), codes(got), codes(want));
  }
  std::string report() const { return QStringLiteral("%1 mismatches\n%2").arg(count).arg(lines.join(u'\n')).toStdString(); }
};

// Every single byte, every lead byte with every second byte, each alone and before "A":
// this covers a lead byte at the end, one before CR, "," or a quote (which must not be
// eaten), an unmapped pair (one character: its second byte opens nothing) and the
// second byte 0x5C of many kanji.
TEST(Cp932, EveryByteAndLeadPairMatchesTheReference) {
  ASSERT_TRUE(reference().loaded()) << "tests/platform/data/cp932_reference.bin missing or of the wrong size";
  EXPECT_EQ(reference().pair(0x95, 0x5C), u'\u8868');  // the table is the code page it claims to be
  Mismatches m;
  int mapped = 0;
  auto check = [&](const QByteArray& bytes) {
    m.check(bytes, reference().expected(bytes));
    m.check(bytes + "A", reference().expected(bytes + "A"));
  };
  for (int b = 0; b < 256; ++b) check(QByteArray(1, char(b)));
  for (int lead : leadBytes())
    for (int second = 0; second < 256; ++second) {
      mapped += reference().pair(lead, second) != kRejected;
      check(QByteArray(1, char(lead)) + char(second));
    }
  EXPECT_EQ(m.count, 0) << m.report();
  EXPECT_GT(mapped, 9000);  // a table that maps almost nothing would make this test vacuous
  // The same rules without the product's own byte classes behind the expectation.
  const QString dot(QChar(platform::kReplacementChar));
  for (char c : {'\r', '\n', ',', '"'}) EXPECT_EQ(platform::decodeAnsi(QByteArray("\x82") + c), dot + c);
  EXPECT_EQ(platform::decodeAnsi(QByteArray("\x85\x82\xA0")), dot + QChar(0xF8F0));  // not dot + "あ"
}

TEST(Cp932, EncodeGivesTheCodePageBytes) {
  EXPECT_EQ(platform::encodeAnsi(QStringLiteral("ＥＮＤ")), QByteArray("\x82\x64\x82\x6D\x82\x63"));
  EXPECT_EQ(platform::encodeAnsi(QStringLiteral("表.mid")), QByteArray("\x95\x5C.mid"));
  EXPECT_EQ(platform::decodeAnsi(platform::encodeAnsi(QStringLiteral("ミルカナランド放送局"))),
            QStringLiteral("ミルカナランド放送局"));
}

}  // namespace
