// SPDX-License-Identifier: GPL-3.0-or-later
// What actually sounds: music and clips read back from the disk audio driver.
#include <gtest/gtest.h>

#include "sound/sound.h"
#include "sound_fixture.h"

namespace winmm = sound::winmm;
using namespace std::string_literals;

namespace {

using Playback = SoundTest;

// A short tune plays once and stays open, silent, after its end: a bare "play" does not
// repeat it. The next tune starts promptly, goes on under a clip that sounds over it, and
// stops when closed.
TEST_F(Playback, MusicPlaysOnceAndUnderAClipUntilClosed) {
  writeFile("once.mid", media::midi(60, 200, 300));
  writeFile("tune.mid", media::midi(48, 8000, 8000));  // outlasts a busy machine's pauses
  writeFile("voice.wav", media::wav(1760, 0.3));
  ASSERT_TRUE(winmm::test_hooks::waitForMidi(10000));
  const Mark once = mark([] { sound::playMusic("once.mid"); });
  advance(ms(1000));
  EXPECT_EQ(send("play Midi"), 0u);
  advance(ms(400));
  const Mark played = mark([] { sound::playMusic("tune.mid"); });
  advance(ms(400));
  const Mark clip = mark([] { sound::playClip("voice.wav"); });
  advance(ms(700));
  const Mark closed = mark([] { sound::closeMusic(); });
  advance(ms(300));
  const media::Capture audio = capture();

  const auto first = audio.firstSound(once.before);
  ASSERT_GE(first, 0);
  const double note = audio.rms(first, first + ms(150));
  EXPECT_GT(note, 0.02);
  EXPECT_LT(audio.rms(once.after + ms(800), played.before), note / 10);
  const auto onset = audio.firstSound(played.before);
  ASSERT_GE(onset, 0);
  EXPECT_LE(onset - played.after, ms(250));
  const double music = audio.rms(clip.before - ms(300), clip.before);
  EXPECT_GT(music, 0.02);
  const auto from = audio.toneFrom(clip.before, 1760), to = from + ms(150);
  ASSERT_GE(from, 0);
  EXPECT_GT(audio.tone(from, to, 1760), 0.3);
  // The organ's fundamental (C3) goes on under the clip, and the music after it.
  EXPECT_GT(audio.tone(from, to, 130.81), audio.tone(clip.before - ms(300), clip.before, 130.81) / 2);
  EXPECT_GT(audio.rms(from + ms(300), closed.before), music / 2);
  EXPECT_EQ(audio.rms(closed.after + kSettle, closed.after + ms(300)), 0.0);
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

// Decoding and resampling happen off the calling thread: the call returns before the
// mixer has moved on more than a buffer or two, and a clip still being prepared when the
// next call comes never sounds. Each clip cuts off the one still playing, unless asked
// not to, and so does a call that plays nothing (no-default); what the default sound
// sounds like is in the damaged clips.
TEST_F(Playback, ClipsArePreparedOffTheCallingThreadAndEachCutsOffTheLast) {
  writeFile("long.wav", media::wav(440, 60));
  writeFile("short.wav", media::wav(880, 0.2));
  const std::int64_t before = now();
  sound::playClip("long.wav");
  const std::int64_t returned = now();
  const Mark stale = mark([] { sound::playClip("short.wav"); });
  advance(ms(600));
  const Mark played = mark([] { sound::playClip("long.wav"); });
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

  EXPECT_LE(returned - before, 3 * 2048);
  const auto onset = audio.firstSound(stale.before);
  ASSERT_GE(onset, 0);
  EXPECT_LE(onset, stale.after + kSettle);
  EXPECT_GT(audio.tone(onset, onset + ms(150), 880), 0.3);
  EXPECT_LT(audio.tone(stale.after + kSettle, played.before, 440), 0.01);
  // Played alone, the long clip sounds on after the refused call until the cut.
  const auto cutFrom = audio.toneFrom(cut.before, 880);
  ASSERT_GE(cutFrom, 0);
  EXPECT_GT(audio.tone(refused.after + kSettle, cutFrom - 441, 440), 0.3);
  EXPECT_GT(audio.tone(cutFrom, cutFrom + ms(150), 880), 0.3);
  EXPECT_LT(audio.tone(cutFrom, cutFrom + ms(150), 440), 0.01);
  EXPECT_EQ(audio.rms(cutFrom + ms(200), missing.before), 0.0);  // the long clip stays gone
  EXPECT_GT(audio.rms(missing.before, stop.before), 0.05);  // the default sound
  EXPECT_EQ(audio.rms(stop.after + kSettle, stop.after + ms(400)), 0.0);  // cut off, nothing in its place
  EXPECT_EQ(traced("snd "),
            (std::vector<std::string>{"snd \"long.wav\" 1 true", "snd \"short.wav\" 1 true", "snd \"long.wav\" 1 true",
                                      "snd \"short.wav\" 17 false", "snd \"short.wav\" 1 true",
                                      "snd \"nothere.wav\" 1 true", "snd \"Dummy.wav\" 3 false"}));
}

// Damaged and hostile clips: never a crash; each is refused the way a missing clip is,
// with the default sound under flag 1 and false under flags 3. WAV layout: channels at
// byte 22, rate at 24, the fmt chunk's size at 16, the data chunk's size at 40.
TEST_F(Playback, DamagedClipsGetTheDefaultSoundOrFalse) {
  const std::string good = media::wav(440, 48000 / 2 / 22050.0);  // 48 KB
  const struct {
    const char* name;
    std::string bytes;
    const char* problem;
  } clips[] = {
      {"rate1.wav", media::patched(good, 24, 1, 4), "sample rate 1 Hz is not playable"},
      {"ratemax.wav", media::patched(good, 24, 0x7FFFFFFF, 4), "sample rate 2147483647 Hz is not playable"},
      {"mute.wav", media::patched(good, 22, 0, 2), "no audio channels"},
      {"many.wav", media::patched(good, 22, 200, 2), "200 audio channels are more than 8"},
      {"fmtsize.wav", media::patched(good, 16, 0xFFFFFFF0, 4), "a chunk runs past the end of the file"},
      {"cut.wav", good.substr(0, 30), "a damaged format chunk"},
      {"nodata.wav", good.substr(0, 36), "no sound data"},
      {"garbage.wav", std::string(4096, '\xA5'), "not a WAV file"},
      {"eleven.wav", media::wav(440, 11 * 60, 1000, 8), "longer than 10 minutes"},
  };
  std::vector<Mark> marks;
  for (const auto& c : clips) {
    SCOPED_TRACE(c.name);
    writeFile(c.name, c.bytes);
    EXPECT_EQ(winmm::clipFileProblem(c.name).toStdString(), c.problem);
    EXPECT_FALSE(winmm::sndPlaySoundA(c.name, winmm::SND_ASYNC | winmm::SND_NODEFAULT));
    marks.push_back(mark([&] { EXPECT_TRUE(winmm::sndPlaySoundA(c.name, winmm::SND_ASYNC)); }));
    advance(ms(150));
  }
  // A data chunk longer than the file plays what is there.
  writeFile("long.wav", media::patched(good, 40, 0xFFFFFFFF, 4));
  EXPECT_EQ(winmm::clipFileProblem("long.wav").toStdString(), "");
  const media::Capture audio = capture();

  for (size_t i = 0; i < marks.size(); ++i) {
    SCOPED_TRACE(clips[i].name);
    const auto from = marks[i].after + kSettle;
    EXPECT_GT(audio.tone(from, from + ms(100), media::kChimeHz), 0.05);
    EXPECT_LT(audio.tone(from, from + ms(100), 440), 0.01);
  }
}

// Instruments load before a tune sounds, never on the audio thread in the middle of a
// buffer: a program change from the first millisecond whose bank select sits in a later
// track (FluidR3 holds bank 8 of program 48, TimGM6mb no bank 8 at all). That every program
// change of a tune is found is Mci.MidiScanFindsEveryInstrumentATuneSelects.
TEST_F(Playback, InstrumentsLoadBeforeTheTuneStarts) {
  ::setenv("SDL_SOUNDFONTS", "/usr/share/sounds/sf2/FluidR3_GM.sf2", 1);
  const std::string programLater = media::varLen(1) + std::string("\xC0\x30\x00\x90\x3C\x64", 6) +
                                   media::varLen(1200) + std::string("\x80\x3C\x00", 3);
  writeFile("bank.mid", media::smf(1, {programLater, std::string("\x00\xB0\x00\x08", 4)}));
  ASSERT_TRUE(winmm::test_hooks::waitForMidi(10000));
  const Mark played = mark([] { sound::playMusic("bank.mid"); });
  advance(ms(1500));
  // Then a drum kit the tune before did not use.
  writeFile("drums.mid", media::smf(0, {std::string("\x00\xC9\x10\x00\x99\x26\x64", 7) + media::varLen(800) + "\x89\x26"s + '\0'}));
  const Mark drums = mark([] { sound::playMusic("drums.mid"); });
  advance(ms(1000));
  const int reads = winmm::test_hooks::soundFontReadsOnAudioThread();
  const media::Capture audio = capture();

  EXPECT_GT(audio.rms(played.after + ms(100), played.after + ms(1200)), 0.02);
  EXPECT_GT(audio.rms(drums.after, drums.after + ms(400)), 0.005);
  EXPECT_EQ(reads, 0);
}

// Without SND_ASYNC the call returns once the clip has been heard to its end.
TEST_F(Playback, ASynchronousClipCallReturnsWhenTheClipHasEnded) {
  writeFile("short.wav", media::wav(880, 0.3));
  const Mark call = mark([] { EXPECT_TRUE(winmm::sndPlaySoundA("short.wav", 0)); });
  EXPECT_GE(call.after - call.before, ms(300));
}

}  // namespace
