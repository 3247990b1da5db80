// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The captions as subtitle cues. Each caption line is one cue, from the moment it appears
// until the caption changes, clears or stops being seen, its text led by the speaker's
// name when a dialogue line gave one. Times are the virtual clock's milliseconds.
#include <QString>
#include <optional>

namespace record {

struct Cue {
  double startMs = 0;
  double endMs = 0;
  QString text;  // "speaker：caption", or the caption alone
  bool operator==(const Cue&) const = default;
};

class CueTrack {
 public:
  // The speaker of the caption set next (a dialogue line's name); a caption set without
  // one before it has no speaker.
  void speaker(const QString& name) { speaker_ = name; }
  // Label1 got `text` at `ms`. Returns the cue that ended, if one did. The same text
  // again, by the same speaker, goes on as the same cue.
  std::optional<Cue> caption(double ms, const QString& text);
  // Whether the caption can be seen (the stage is shown rather than another window).
  std::optional<Cue> visible(double ms, bool shown);
  // Ends the cue being shown at `ms` and goes on with its text from there: a live stream
  // sends what it has at each segment's end rather than when the caption changes.
  std::optional<Cue> cut(double ms);
  // The cue still being shown, ended at `ms` (the end of the recording).
  std::optional<Cue> end(double ms) { return visible(ms, false); }

 private:
  std::optional<Cue> close(double ms);

  QString speaker_;  // for the next caption
  QString text_;     // what Label1 shows, with its speaker
  bool shown_ = true;
  double since_ = 0;  // when the shown text appeared
};

// The text of a WebVTT or SRT file of `cues`, by `format` as subtitleFormat() (options.h) gives it.
QByteArray subtitleFile(const QString& format, const QList<Cue>& cues);

}  // namespace record
