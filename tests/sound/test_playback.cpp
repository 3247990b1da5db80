// What actually sounds: music and clips read back from the disk audio driver.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "sound/sound.h"
#include "sound_fixture.h"

namespace winmm = platform::winmm;

namespace {

// A command reaches the mixer at the latest with the buffer after the one being mixed.
constexpr std::int64_t kSettle = 2048;

class Playback : public SoundTest {
 protected:
  bool traced(const std::string& event) const {
    for (const std::string& line : trace_) {
      if (line.substr(line.find(' ') + 1) == event + "\n") return true;
    }
    return false;
  }
};

TEST_F(Playback, MusicStartsPromptlyAndCloseSilencesIt) {
  writeFile("tune.mid", media::midi({{0, 3000, 60}}, 3000));
  ASSERT_TRUE(winmm::test_hooks::waitForMidi(10000));
  const Mark played = mark([] { sound::playMusic("tune.mid"); });
  advance(ms(500));
  const Mark closed = mark([] { sound::closeMusic(); });
  advance(ms(300));
  const media::Capture audio = capture();

  const auto onset = audio.firstSound(played.before);
  ASSERT_GE(onset, 0);
  EXPECT_LE(onset - played.after, ms(250));
  EXPECT_GT(audio.rms(closed.before - ms(200), closed.before), 0.02);
  EXPECT_EQ(audio.peak(closed.after + kSettle, closed.after + ms(300)), 0.0);
}

TEST_F(Playback, PlayingAgainStartsFromTheBeginning) {
  // One short note, then a long rest: only a restart can sound during the rest.
  writeFile("tune.mid", media::midi({{0, 200, 60}}, 4000));
  ASSERT_TRUE(winmm::test_hooks::waitForMidi(10000));
  const Mark first = mark([] { sound::playMusic("tune.mid"); });
  advance(ms(1000));
  const Mark second = mark([] { sound::playMusic("tune.mid"); });
  advance(ms(400));
  const media::Capture audio = capture();

  const double note = audio.rms(first.before, first.before + ms(250));
  const double rest = audio.rms(first.after + ms(800), second.before);
  EXPECT_GT(note, 0.02);
  EXPECT_LT(rest, note / 10);
  const auto again = audio.firstSound(second.before, note / 2);
  ASSERT_GE(again, 0);
  EXPECT_LE(again - second.after, ms(250));
}

TEST_F(Playback, SequencePlaysOnceAndStaysOpenAfterItsEnd) {
  writeFile("tune.mid", media::midi({{0, 100, 72}}, 300));
  ASSERT_TRUE(winmm::test_hooks::waitForMidi(10000));
  const Mark played = mark([] { sound::playMusic("tune.mid"); });
  advance(ms(1500));
  char ret[512];
  winmm::MCIERROR code = 1;
  const Mark replayed = mark([&] { code = winmm::mciSendStringA("play Midi", ret, sizeof ret, nullptr); });
  EXPECT_EQ(code, 0u);  // ended, still open
  advance(ms(500));
  EXPECT_EQ(winmm::mciSendStringA("close Midi", ret, 1, nullptr), 0u);
  const media::Capture audio = capture();

  EXPECT_GT(audio.rms(played.before, played.before + ms(150)), 0.02);
  EXPECT_LT(audio.peak(replayed.after, replayed.after + ms(500)), 0.005);  // no repeat
}

TEST_F(Playback, ClipsSoundAtTheirOwnPitchWhateverTheirFormat) {
  const struct {
    const char* name;
    int rate, bits, channels;
  } clips[] = {{"voice.wav", 22050, 16, 1}, {"sub/old.wav", 11025, 8, 1}, {"cd.wav", 44100, 16, 2}, {"dat.wav", 48000, 16, 2}};
  ASSERT_EQ(::mkdir("sub", 0755), 0);
  for (const auto& c : clips) writeFile(c.name, media::wav(440, 0.25, 0.5, c.rate, c.bits, c.channels));
  std::vector<Mark> marks;
  for (const auto& c : clips) {
    marks.push_back(mark([&] { sound::playClip(c.name); }));
    advance(ms(300));
  }
  const media::Capture audio = capture();

  for (size_t i = 0; i < marks.size(); ++i) {
    const auto onset = audio.firstSound(marks[i].before);
    ASSERT_GE(onset, 0) << clips[i].name;
    EXPECT_LE(onset - marks[i].after, kSettle) << clips[i].name;
    EXPECT_GT(audio.tone(onset, onset + ms(200), 440), 0.4) << clips[i].name;
    EXPECT_LT(audio.tone(onset, onset + ms(200), 480), 0.05) << clips[i].name;  // not off pitch
  }
  EXPECT_TRUE(traced("snd \"voice.wav\" 1 true"));
}

TEST_F(Playback, NewClipCutsOffTheOldOneUnlessNoStop) {
  writeFile("long.wav", media::wav(440, 1.0));
  writeFile("short.wav", media::wav(880, 0.2));
  sound::playClip("long.wav");
  advance(ms(200));
  bool started = true;
  const Mark refused = mark([&] { started = winmm::sndPlaySoundA("short.wav", winmm::SND_ASYNC | winmm::SND_NOSTOP); });
  EXPECT_FALSE(started);
  advance(ms(200));
  const Mark cut = mark([] { sound::playClip("short.wav"); });
  advance(ms(700));
  const media::Capture audio = capture();

  EXPECT_GT(audio.tone(refused.after + kSettle, cut.before, 440), 0.3);
  EXPECT_GT(audio.tone(cut.after + kSettle, cut.before + ms(180), 880), 0.3);
  EXPECT_LT(audio.tone(cut.after + kSettle, cut.before + ms(180), 440), 0.01);
  // The long clip does not come back after the short one.
  EXPECT_EQ(audio.peak(cut.after + ms(200) + kSettle, cut.before + ms(700)), 0.0);
}

TEST_F(Playback, ClipOverMusicLeavesBothAudible) {
  writeFile("tune.mid", media::midi({{0, 3000, 48}}, 3000));
  writeFile("voice.wav", media::wav(1760, 0.3));
  ASSERT_TRUE(winmm::test_hooks::waitForMidi(10000));
  sound::playMusic("tune.mid");
  advance(ms(400));
  const Mark clip = mark([] { sound::playClip("voice.wav"); });
  advance(ms(700));
  const media::Capture audio = capture();

  const auto from = clip.after + kSettle, to = clip.before + ms(280);
  const double musicBefore = audio.rms(clip.before - ms(300), clip.before);
  const double fundamental = audio.tone(clip.before - ms(300), clip.before, 130.81);
  EXPECT_GT(musicBefore, 0.02);
  EXPECT_GT(audio.tone(from, to, 1760), 0.3);
  // The organ's fundamental goes on under the clip, and the music after it.
  EXPECT_GT(audio.tone(from, to, 130.81), fundamental / 2);
  EXPECT_GT(audio.rms(clip.after + ms(350), clip.before + ms(650)), musicBefore / 2);
}

TEST_F(Playback, MissingClipPlaysTheChimeAndNoDefaultSilences) {
  const Mark missing = mark([] { sound::playClip("nothere.wav"); });
  advance(ms(100));
  bool started = true;
  const Mark stop = mark([&] { started = winmm::sndPlaySoundA("Dummy.wav", winmm::SND_ASYNC | winmm::SND_NODEFAULT); });
  EXPECT_FALSE(started);
  advance(ms(400));
  const media::Capture audio = capture();

  const auto onset = audio.firstSound(missing.before);
  ASSERT_GE(onset, 0);
  EXPECT_LE(onset - missing.after, kSettle);
  EXPECT_GT(audio.peak(onset, onset + ms(50)), 0.1);
  EXPECT_EQ(audio.peak(stop.after + kSettle, stop.after + ms(400)), 0.0);  // cut off, nothing in its place
  EXPECT_TRUE(traced("snd \"nothere.wav\" 1 true"));
  EXPECT_TRUE(traced("snd \"Dummy.wav\" 3 false"));
}

}  // namespace
