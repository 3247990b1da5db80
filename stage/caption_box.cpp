// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/caption_box.h"

#include <QFontMetricsF>
#include <QHash>
#include <QTextBoundaryFinder>
#include <algorithm>

#include "platform/access_key.h"
#include "platform/fonts.h"
#include "platform/twips.h"
#include "stage/controls.h"

namespace stage {
namespace {

// The box's font and text area, measured once: a checked folder brings every dialogue
// line of a hundred programmes here.
struct Measure {
  QFont font = captionFont();
  QFontMetricsF metrics{font};
  QRect area = CaptionLabel::textArea(platform::twipsRect(0, 0, captionBoxTwips().width(), captionBoxTwips().height()));
  int lineHeight = std::max(1, platform::accessKeyTextHeight(font, area.width(), QStringLiteral("あ")));
  qreal widest = 0;                 // widest character met so far
  QHash<char16_t, qreal> advances;  // < 0: the font lacks the character

  qreal advance(QChar ch) {
    auto it = advances.constFind(ch.unicode());
    if (it == advances.constEnd()) {
      const qreal a = metrics.inFont(ch) ? metrics.horizontalAdvance(ch) : -1;
      widest = std::max(widest, a);
      it = advances.insert(ch.unicode(), a);
    }
    return *it;
  }

  // True when the text surely takes at most `lines` lines: every full line holds more
  // than the width less the widest piece that cannot be broken, so the sum of advances
  // bounds the line count. Laying the text out exactly costs a hundred times more.
  bool surelyWithin(const QString& text, int lines) {
    // Far more than any box holds: left to the exact, bounded count.
    if (lines < 2 || text.size() > 4096) return false;
    qreal sum = 0, piece = 0, widestPiece = 0;
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    qsizetype next = breaks.toNextBoundary();
    for (qsizetype i = 0; i < text.size(); ++i) {
      const char16_t c = text[i].unicode();
      // Surrogates, control characters and line separators are left to the layout.
      if (text[i].isSurrogate() || c < 0x20 || c == 0x2028 || c == 0x2029) return false;
      const qreal a = advance(text[i]);
      if (a < 0) return false;  // another font, perhaps of another height
      if (i == next) {
        widestPiece = std::max(widestPiece, piece);
        piece = 0;
        next = breaks.toNextBoundary();
      }
      piece += a;
      sum += a;
    }
    widestPiece = std::max(widestPiece, piece);
    // A margin of the widest character for shaping, which may differ a little from the sum.
    const qreal full = area.width() - std::min(widestPiece, qreal(area.width())) - widest;
    return full > 0 && sum <= (lines - 1) * full;
  }
};

}  // namespace

QRect captionBoxTwips() { return {120, 4080, 5580, 1455}; }

QFont captionFont() { return platform::layoutFont(platform::kGothicFamily, 14.25); }

CaptionFit fitCaption(const QString& caption) {
  static Measure m;
  const int shown = m.area.height() / m.lineHeight;
  if (caption.isEmpty() || m.surelyWithin(platform::parseAccessKeys(caption).text, shown)) return {true, 0, shown};
  // However long a caption, the count stops a little past the limit.
  const int height = platform::accessKeyTextHeight(m.font, m.area.width(), caption, CaptionFit::kMostLines * m.lineHeight);
  const int needed = std::min(CaptionFit::kMostLines, (height + m.lineHeight - 1) / m.lineHeight);
  return {needed <= shown, needed, shown};
}

}  // namespace stage
