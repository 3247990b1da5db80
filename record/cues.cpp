// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/cues.h"

#include <QList>
#include <cmath>

namespace record {

std::optional<Cue> CueTrack::close(double ms) {
  if (text_.isEmpty() || !shown_ || ms <= since_) return std::nullopt;
  return Cue{since_, ms, text_};
}

std::optional<Cue> CueTrack::caption(double ms, const QString& text) {
  const QString shown = text.isEmpty() || speaker_.isEmpty() ? text : speaker_ + u'：' + text;
  speaker_.clear();
  if (shown == text_) return std::nullopt;
  std::optional<Cue> ended = close(ms);
  text_ = shown;
  since_ = ms;
  return ended;
}

std::optional<Cue> CueTrack::visible(double ms, bool shown) {
  if (shown == shown_) return std::nullopt;
  std::optional<Cue> ended = close(ms);
  shown_ = shown;
  since_ = ms;
  return ended;
}

std::optional<Cue> CueTrack::cut(double ms) {
  std::optional<Cue> ended = close(ms);
  if (ended) since_ = ms;
  return ended;
}

namespace {

// "hh:mm:ss.mmm", with a comma before the milliseconds for SRT.
QString timestamp(double ms, QChar separator) {
  const qint64 t = std::llround(ms);
  return QStringLiteral("%1:%2:%3%4%5")
      .arg(t / 3600000, 2, 10, QLatin1Char('0'))
      .arg(t / 60000 % 60, 2, 10, QLatin1Char('0'))
      .arg(t / 1000 % 60, 2, 10, QLatin1Char('0'))
      .arg(separator)
      .arg(t % 1000, 3, 10, QLatin1Char('0'));
}

}  // namespace

QByteArray subtitleFile(const QString& format, const QList<Cue>& cues) {
  const bool vtt = format == QLatin1String("vtt");
  QString out = vtt ? QStringLiteral("WEBVTT\n\n") : QString();
  int number = 0;
  for (const Cue& cue : cues) {
    QString text = cue.text;
    // A blank line would end the cue early; WebVTT reads "<" and "&" as markup.
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    while (text.contains(QLatin1String("\n\n"))) text.replace(QLatin1String("\n\n"), QLatin1String("\n"));
    if (vtt) text.replace(u'&', QLatin1String("&amp;")).replace(u'<', QLatin1String("&lt;")).replace(u'>', QLatin1String("&gt;"));
    if (!vtt) out += QString::number(++number) + u'\n';
    const QChar separator = vtt ? u'.' : u',';
    out += timestamp(cue.startMs, separator) + QLatin1String(" --> ") + timestamp(cue.endMs, separator) + u'\n' +
           text.trimmed() + QLatin1String("\n\n");
  }
  return out.toUtf8();
}

}  // namespace record
