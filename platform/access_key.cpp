#include "platform/access_key.h"

#include <QPainter>
#include <QTextLayout>

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

void drawAccessKeyText(QPainter& painter, const QRect& rect, const QString& caption) {
  const AccessKeyCaption parsed = parseAccessKeys(caption);
  QTextLayout layout(parsed.text, painter.font(), painter.device());
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

  layout.beginLayout();
  // Lines that would start below the rect cannot show: stop laying out there.
  for (qreal y = 0; y < rect.height();) {
    QTextLine line = layout.createLine();
    if (!line.isValid()) break;
    line.setLineWidth(rect.width());
    line.setPosition(QPointF(0, y));
    y += line.height();
  }
  layout.endLayout();

  painter.save();
  painter.setClipRect(rect, Qt::IntersectClip);
  layout.draw(&painter, rect.topLeft());
  painter.restore();
}

}  // namespace platform
