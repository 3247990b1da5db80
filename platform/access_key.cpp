// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/access_key.h"

#include <QPainter>
#include <QTextLayout>
#include <cmath>

namespace platform {

AccessKeyCaption parseAccessKeys(const QString& caption) {
  AccessKeyCaption out;
  out.text.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] != u'&') {
      out.text += caption[i];
      continue;
    }
    if (i + 1 >= caption.size()) break;  // a marker with nothing to mark shows nothing
    ++i;
    if (caption[i] != u'&') out.underlined.append(int(out.text.size()));
    out.text += caption[i];
  }
  return out;
}

namespace {

void prepareLayout(QTextLayout& layout, const AccessKeyCaption& parsed) {
  QTextOption option(Qt::AlignLeft | Qt::AlignTop);
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  QList<QTextLayout::FormatRange> formats;
  for (int pos : parsed.underlined) {
    QTextLayout::FormatRange range;
    range.start = pos;
    range.length = 1;
    range.format.setFontUnderline(true);
    formats.append(range);
  }
  layout.setFormats(formats);
}

// Lays out lines of `width` from the top until `maxHeight` is reached; returns the height.
qreal layOutLines(QTextLayout& layout, int width, qreal maxHeight) {
  layout.beginLayout();
  qreal y = 0;
  while (y < maxHeight) {
    QTextLine line = layout.createLine();
    if (!line.isValid()) break;
    line.setLineWidth(width);
    line.setPosition(QPointF(0, y));
    y += line.height();
  }
  layout.endLayout();
  return y;
}

}  // namespace

void drawAccessKeyText(QPainter& painter, const QRect& rect, const QString& caption) {
  const AccessKeyCaption parsed = parseAccessKeys(caption);
  QTextLayout layout(parsed.text, painter.font(), painter.device());
  prepareLayout(layout, parsed);
  // Lines that would start below the rect cannot show: stop laying out there.
  layOutLines(layout, rect.width(), rect.height());

  painter.save();
  painter.setClipRect(rect, Qt::IntersectClip);
  layout.draw(&painter, rect.topLeft());
  painter.restore();
}

int accessKeyTextHeight(const QFont& font, int width, const QString& caption, int maxHeight) {
  const AccessKeyCaption parsed = parseAccessKeys(caption);
  QTextLayout layout(parsed.text, font);
  prepareLayout(layout, parsed);
  return int(std::ceil(layOutLines(layout, width, maxHeight)));
}

}  // namespace platform
