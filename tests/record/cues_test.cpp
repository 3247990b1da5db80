// SPDX-License-Identifier: GPL-3.0-or-later
// The caption cues' edge cases, which a recording of the demo never meets: each row is a
// run of stage calls and the cues it must give.
#include <gtest/gtest.h>

#include <QList>
#include <functional>

#include "record/cues.h"

namespace record {
namespace {

using Step = std::function<std::optional<Cue>(CueTrack&)>;
Step caption(double ms, const char* text) { return [=](CueTrack& t) { return t.caption(ms, QString::fromUtf8(text)); }; }
Step speaker(const char* name) { return [=](CueTrack& t) { return t.speaker(QString::fromUtf8(name)), std::nullopt; }; }
Step shown(double ms, bool on) { return [=](CueTrack& t) { return t.visible(ms, on); }; }
Step cut(double ms) { return [=](CueTrack& t) { return t.cut(ms); }; }
Step end(double ms) { return [=](CueTrack& t) { return t.end(ms); }; }

TEST(Cues, FollowTheCaption) {
  const struct {
    const char* what;
    QList<Step> steps;
    QList<Cue> cues;
  } rows[] = {
      {"the same text again goes on", {caption(0, "a"), caption(500, "a"), end(900)}, {{0, 900, "a"}}},
      {"a speaker names one caption only",
       {speaker("ミカ"), caption(0, "a"), caption(100, "b"), end(200)},
       {{0, 100, "ミカ：a"}, {100, 200, "b"}}},
      {"the same text by another speaker is a new cue",
       {speaker("A"), caption(0, "x"), speaker("B"), caption(100, "x"), end(200)},
       {{0, 100, "A：x"}, {100, 200, "B：x"}}},
      {"a clear ends it", {caption(0, "a"), caption(300, ""), end(900)}, {{0, 300, "a"}}},
      {"a caption replaced at once shows nothing", {caption(0, "a"), caption(0, "b"), end(50)}, {{0, 50, "b"}}},
      {"hidden and shown again", {caption(0, "a"), shown(100, false), shown(400, true), end(500)},
       {{0, 100, "a"}, {400, 500, "a"}}},
      {"set while hidden, seen once shown", {shown(0, false), caption(100, "a"), shown(300, true), end(400)},
       {{300, 400, "a"}}},
      {"cut into pieces", {caption(100, "a"), cut(2000), cut(4000), caption(4500, "")},
       {{100, 2000, "a"}, {2000, 4000, "a"}, {4000, 4500, "a"}}},
      {"nothing to cut", {cut(0), caption(0, ""), cut(2000)}, {}},
  };
  for (const auto& row : rows) {
    CueTrack track;
    QList<Cue> got;
    for (const Step& step : row.steps)
      if (const auto cue = step(track)) got.append(*cue);
    EXPECT_EQ(got, row.cues) << row.what;
  }
}

TEST(Cues, FilesKeepEachCueWhole) {
  const QList<Cue> cues{{0, 1500.4, "a\n\nb <c> & d"}, {3723004, 3723005, "e"}};
  EXPECT_EQ(subtitleFile("vtt", cues),
            "WEBVTT\n\n00:00:00.000 --> 00:00:01.500\na\nb &lt;c&gt; &amp; d\n\n"
            "01:02:03.004 --> 01:02:03.005\ne\n\n");
  EXPECT_EQ(subtitleFile("srt", cues),
            "1\n00:00:00,000 --> 00:00:01,500\na\nb <c> & d\n\n2\n01:02:03,004 --> 01:02:03,005\ne\n\n");
}

}  // namespace
}  // namespace record
