// What actually sounds: music and clips read back from the disk audio driver.
#include <gtest/gtest.h>

#include "sound/sound.h"
#include "sound_fixture.h"

namespace winmm = platform::winmm;

namespace {

using Playback = SoundTest;

// Music starts promptly, goes on under a clip that sounds over it, and stops when closed.
TEST_F(Playback, MusicUnderAClipUntilClosed) {
  writeFile("tune.mid", media::midi(48, 3000, 3000));
  writeFile("voice.wav", media::wav(1760, 0.3));
  ASSERT_TRUE(winmm::test_hooks::waitForMidi(10000));
  const Mark played = mark([] { sound::playMusic("tune.mid"); });
  advance(ms(400));
  const Mark clip = mark([] { sound::playClip("voice.wav"); });
  advance(ms(700));
  const Mark closed = mark([] { sound::closeMusic(); });
  advance(ms(300));
  const media::Capture audio = capture();

  const auto onset = audio.firstSound(played.before);
  ASSERT_GE(onset, 0);
  EXPECT_LE(onset - played.after, ms(250));
  const double music = audio.rms(clip.before - ms(300), clip.before);
  EXPECT_GT(music, 0.02);
  const auto from = clip.after + kSettle, to = clip.before + ms(280);
  EXPECT_GT(audio.tone(from, to, 1760), 0.3);
  // The organ's fundamental (C3) goes on under the clip, and the music after it.
  EXPECT_GT(audio.tone(from, to, 130.81), audio.tone(clip.before - ms(300), clip.before, 130.81) / 2);
  EXPECT_GT(audio.rms(clip.after + ms(350), closed.before), music / 2);
  EXPECT_EQ(audio.rms(closed.after + kSettle, closed.after + ms(300)), 0.0);
}

// A short tune plays once and stays open, silent, after its end: a bare "play" does not
// repeat it, while the music call (close, open, play) starts it again from the beginning.
TEST_F(Playback, SequencePlaysOnceAndPlayingAgainRestartsIt) {
  writeFile("tune.mid", media::midi(60, 200, 300));
  ASSERT_TRUE(winmm::test_hooks::waitForMidi(10000));
  const Mark first = mark([] { sound::playMusic("tune.mid"); });
  advance(ms(1000));
  char ret[512];
  EXPECT_EQ(winmm::mciSendStringA("play Midi", ret, sizeof ret, nullptr), 0u);
  advance(ms(400));
  const Mark second = mark([] { sound::playMusic("tune.mid"); });
  advance(ms(400));
  const media::Capture audio = capture();

  const auto onset = audio.firstSound(first.before);
  ASSERT_GE(onset, 0);
  const double note = audio.rms(onset, onset + ms(150));
  EXPECT_GT(note, 0.02);
  EXPECT_LT(audio.rms(first.after + ms(800), second.before), note / 10);
  const auto again = audio.firstSound(second.before, note / 2);
  ASSERT_GE(again, 0);
  EXPECT_LE(again - second.after, ms(250));
}

TEST_F(Playback, ClipsSoundAtTheirOwnPitchWhateverTheirFormat) {
  const struct {
    const char* name;
    int rate, bits, channels;
  } clips[] = {
      {"voice.wav", 22050, 16, 1}, {"sub/old.wav", 11025, 8, 1}, {"cd.wav", 44100, 16, 2}, {"dat.wav", 48000, 16, 2}};
  makeFolder("sub");
  for (const auto& c : clips) writeFile(c.name, media::wav(440, 0.25, c.rate, c.bits, c.channels));
  std::vector<Mark> marks;
  for (const auto& c : clips) {
    marks.push_back(mark([&] { sound::playClip(c.name); }));
    advance(ms(300));
  }
  const media::Capture audio = capture();

  for (size_t i = 0; i < marks.size(); ++i) {
    SCOPED_TRACE(clips[i].name);
    const auto onset = audio.firstSound(marks[i].before);
    ASSERT_GE(onset, 0);
    EXPECT_LE(onset - marks[i].after, kSettle);
    EXPECT_GT(audio.tone(onset, onset + ms(200), 440), 0.4);
    EXPECT_LT(audio.tone(onset, onset + ms(200), 480), 0.05);  // not off pitch
  }
}

// Each clip cuts off the one still playing, unless asked not to; a missing clip plays
// the chime instead, or with no-default nothing at all.
TEST_F(Playback, EachClipCutsOffTheLast) {
  writeFile("long.wav", media::wav(440, 1.0));
  writeFile("short.wav", media::wav(880, 0.2));
  sound::playClip("long.wav");
  advance(ms(200));
  const Mark refused =
      mark([] { EXPECT_FALSE(winmm::sndPlaySoundA("short.wav", winmm::SND_ASYNC | winmm::SND_NOSTOP)); });
  advance(ms(200));
  const Mark cut = mark([] { sound::playClip("short.wav"); });
  advance(ms(400));
  const Mark missing = mark([] { sound::playClip("nothere.wav"); });
  advance(ms(100));
  const Mark stop =
      mark([] { EXPECT_FALSE(winmm::sndPlaySoundA("Dummy.wav", winmm::SND_ASYNC | winmm::SND_NODEFAULT)); });
  advance(ms(400));
  const media::Capture audio = capture();

  EXPECT_GT(audio.tone(refused.after + kSettle, cut.before, 440), 0.3);
  EXPECT_GT(audio.tone(cut.after + kSettle, cut.before + ms(180), 880), 0.3);
  EXPECT_LT(audio.tone(cut.after + kSettle, cut.before + ms(180), 440), 0.01);
  EXPECT_EQ(audio.rms(cut.after + ms(200) + kSettle, missing.before), 0.0);  // the long clip stays gone
  const auto chime = audio.firstSound(missing.before);
  ASSERT_GE(chime, 0);
  EXPECT_LE(chime - missing.after, kSettle);
  EXPECT_GT(audio.rms(chime, chime + ms(50)), 0.05);
  EXPECT_EQ(audio.rms(stop.after + kSettle, stop.after + ms(400)), 0.0);  // cut off, nothing in its place
  EXPECT_EQ(traced("snd "), (std::vector<std::string>{"snd \"long.wav\" 1 true", "snd \"short.wav\" 17 false",
                                                      "snd \"short.wav\" 1 true", "snd \"nothere.wav\" 1 true",
                                                      "snd \"Dummy.wav\" 3 false"}));
}

}  // namespace
