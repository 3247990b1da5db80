// SPDX-License-Identifier: GPL-3.0-or-later
// The MCI command strings: result codes, error texts, the commands the music calls
// send, and how the layer behaves without a device or a SoundFont.
#include <gtest/gtest.h>

#include <QString>
#include <functional>

#include "record/offline_sound.h"
#include "sound/midi_file.h"
#include "sound/sound.h"
#include "sound/soundfont_cut.h"
#include "sound/synth_settings.h"
#include "sound_fixture.h"

namespace winmm = sound::winmm;

namespace {

using namespace std::string_literals;

class Mci : public SoundTest {
 protected:
  void SetUp() override {
    SoundTest::SetUp();
    writeFile("tune.mid", media::midi(60, 400, 500));
  }
  static std::string mci(const QString& command, int code) {
    return "mci " + platform::trace::jsonString(command) + " " + std::to_string(code);
  }
};

// The codes the program meets, in one session: a row may depend on the rows before it.
TEST_F(Mci, ResultCodes) {
  // Missing files (275), files that are no sequence (296) and unknown aliases (263) are
  // in the music calls' and the damaged files' tests.
  writeFile("tune.rmi", media::rmid(media::midi(60, 400, 500)));
  const std::pair<std::string, winmm::MCIERROR> steps[] = {
      {"open \"" + root() + "\\tune.mid\" type sequencer alias Midi", 0},
      {"open " + root() + "/tune.mid type sequencer alias MIDI", 289},
      {"play midi", 0},
      {"close MIDI", 0},
      {"close Midi", 263},
      {"open tune.mid alias A", 0},
      {"open tune.rmi alias R", 0},  // RIFF-wrapped, as .RMI files are
      {"close R", 0},
      {"close all", 0},
      {"close A", 263},
  };
  for (const auto& [command, code] : steps) EXPECT_EQ(send(command), code) << command;
  // Anything else is refused with an error code, never a crash.
  for (const char* bad : {"", "   ", "stop Midi", "play", "open \"tune.mid", "open \"tune.mid\"x alias B",
                          "open tune.mid alias", "open tune.mid type waveaudio alias B",
                          "open tune.mid type sequencer type sequencer alias B", "open tune.mid shareable alias B"})
    EXPECT_NE(send(bad), 0u) << bad;
  EXPECT_EQ(send("close B"), 263u);
  EXPECT_NE(winmm::mciSendStringA(nullptr, nullptr, 0, nullptr), 0u);
  // The music calls fetch the text for every code and drop it: what matters is that it
  // fits the buffer it is given.
  char text[8];
  EXPECT_TRUE(winmm::mciGetErrorStringA(0, text, sizeof text));
  EXPECT_STREQ(text, "The com");
  EXPECT_FALSE(winmm::mciGetErrorStringA(99999, text, sizeof text));
  EXPECT_STREQ(text, "");
}

// Each music call closes the last tune, opens this one and plays it: a folder and a name,
// a name with a space, an empty name, a name with a double quote (it cannot break out of
// the quotes to add words), folders the code page holds (sent as they are) and one it
// cannot (named "."), and the root folder. The SoundFont is loaded once for them all.
TEST_F(Mci, CommandsTheMusicCallsSend) {
  ASSERT_TRUE(winmm::test_hooks::waitForMidi(10000));
  for (const char* folder : {"demo dir", "番組", "café 波〜−"}) {
    makeFolder(folder);
    writeFile(std::string(folder) + "/op.mid", media::midi(60, 400, 500));
  }
  writeFile("demo dir/my song.mid", media::midi(60, 400, 500));
  const std::string demo = root() + "/demo dir";
  const struct {
    std::string folder;
    QString name;
    int closed, opened;
    QString sentFolder = {};  // when not the folder itself
  } calls[] = {
      {demo, "OP.MID", 263, 0},
      {demo, "my song.mid", 0, 0},
      {demo, "", 0, 275},
      {demo, "op.mid\" alias Other", 263, 305},
      {root() + "/番組", "OP.MID", 263, 0},
      {root() + "/café 波〜−", "OP.MID", 0, 0, "."},
      {"/", "OP.MID", 0, 275},
  };
  for (const auto& c : calls) {
    ASSERT_EQ(::chdir(c.folder.c_str()), 0);
    lines.clear();
    sound::playMusic(c.name);
    const QString path = (c.sentFolder.isEmpty() ? QString::fromStdString(c.folder) : c.sentFolder) + "\\" + c.name;
    EXPECT_EQ(traced("mci "),
              (std::vector<std::string>{mci("close Midi", c.closed),
                                        mci("open \"" + path + "\" type sequencer alias Midi", c.opened),
                                        mci("play Midi", c.opened == 0 ? 0 : 263)}));
  }
  EXPECT_EQ(send("close Other"), 263u);
  EXPECT_EQ(winmm::test_hooks::soundFontLoads(), 1);
}

// Without an audio device every call fails quietly, and the device is tried again, at
// most once a second. Without a SoundFont clips still play and music fails. Each says so
// in one line on stderr.
TEST_F(Mci, WithoutADeviceOrASoundFontCallsFailQuietly) {
  ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  ::setenv("SDL_SOUNDFONTS", (root() + "/none.sf2").c_str(), 1);
  writeFile("voice.wav", media::wav(440, 0.1));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(send("open tune.mid type sequencer alias Midi"), 262u);
  EXPECT_EQ(send("play Midi"), 263u);
  EXPECT_FALSE(winmm::sndPlaySoundA("voice.wav", winmm::SND_ASYNC));
  EXPECT_FALSE(winmm::sndPlaySoundA("missing.wav", winmm::SND_ASYNC));
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  EXPECT_FALSE(winmm::sndPlaySoundA("voice.wav", winmm::SND_ASYNC));
  winmm::test_hooks::passTime(1000);
  EXPECT_TRUE(winmm::sndPlaySoundA("voice.wav", winmm::SND_ASYNC));
  EXPECT_EQ(send("open tune.mid type sequencer alias Midi"), 343u);
  EXPECT_EQ(send("open tune.mid type sequencer alias Midi"), 343u);
  const std::string err = ::testing::internal::GetCapturedStderr();
  for (const char* line : {"kivo: no sound", "kivo: no music"}) {  // once each; SDL's disk driver adds its own
    EXPECT_NE(err.find(line), std::string::npos) << err;
    EXPECT_EQ(err.find(line), err.rfind(line)) << err;
  }
}

// Damaged and hostile MIDI files are refused at open: silence, and the programme goes on.
TEST_F(Mci, DamagedMidiFilesStaySilent) {
  const std::string good = media::midi(60, 400, 500);
  const std::pair<std::string, std::string> files[] = {
      {"cut.mid", good.substr(0, good.size() / 2)},
      {"header.mid", good.substr(0, 16)},
      {"garbage.mid", std::string(4096, '\xA5')},
      {"noise.mid", "MThd" + std::string(2000, '\x81')},
      {"huge.mid", media::patched(good, 18, 0xF0FFFF7F, 4)},  // the track claims 2 GB (7FFFFFF0, big-endian)
      {"nostatus.mid", media::patched(good, 23, 0x40, 1)},    // a data byte where the first event's status belongs
      {"smpte.mid", media::patched(good, 12, 0x28E7, 2)},
      {"empty.rmi", media::rmid("")},
  };
  ASSERT_TRUE(winmm::test_hooks::waitForMidi(10000));
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    writeFile(name, bytes);
    EXPECT_FALSE(winmm::musicFileProblem(QString::fromStdString(name)).isEmpty());
    EXPECT_EQ(send("open " + name + " alias Midi"), 296u);  // no alias left: CommandsTheMusicCallsSend
  }
  EXPECT_EQ(winmm::musicFileProblem("tune.mid").toStdString(), "");
  EXPECT_EQ(winmm::musicFileProblem("missing.mid").toStdString(), "file not found");
}

// The instruments a tune may select: every channel message kind, each with its own count
// of data bytes (a wrong count misreads the program change after it), and bank selects
// paired with program changes by time, whichever track holds them.
TEST_F(Mci, MidiScanFindsEveryInstrumentATuneSelects) {
  using Presets = std::vector<std::pair<int, int>>;
  const std::string kinds = "\x00\x80\x3C\x00\x00\xC1\x01"s  // note off
                            "\x00\x90\x3C\x40\x00\x3C\x00\x00\xC1\x02"s  // note on, then on running status
                            "\x00\xA0\x3C\x10\x00\xC1\x03"s  // key pressure
                            "\x00\xB0\x07\x64\x00\xC1\x04"s  // control change
                            "\x00\xD0\x20\x00\xC1\x05"s      // channel pressure
                            "\x00\xE0\x00\x40\x00\xC1\x06"s  // pitch bend
                            "\x00\xF0\x02\x7E\xF7\x00\xFF\x01\x01X\x00\xC1\x07"s;  // SysEx, text
  // Keys by the instrument they sound on: a note before any program change on the first
  // of its bank, a note at velocity 0 none; the drum channel ignores bank selects.
  const std::string keys = "\x00\x90\x3C\x40\x00\xB0\x00\x08\x00\xC0\x30\x00\x90\x3E\x40\x00\x90\x40\x00\x00\xC9\x03\x00\x99\x24\x40"s;
  const struct {
    const char* name;
    std::string file;
    Presets presets;
    std::string played;  // bank:program key...; by instrument
  } cases[] = {
      {"every message kind", media::smf(0, {kinds}), {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}, {128, 0}}, "0:0 60;"},
      {"bank in a later track", media::smf(1, {"\x64\xC0\x30"s, "\x00\xB0\x00\x08"s}), {{0, 0}, {0, 48}, {8, 48}, {128, 0}}, ""},
      {"bank after the program", media::smf(1, {"\x00\xC0\x30"s, "\x64\xB0\x00\x08"s}), {{0, 0}, {0, 48}, {128, 0}}, ""},
      {"keys", media::smf(1, {keys, "\x00\xB9\x00\x05\x00\x99\x26\x40"s}), {{0, 0}, {0, 48}, {8, 48}, {128, 0}, {128, 3}},
       "0:0 60;8:48 62;128:3 36 38;"},
  };
  for (const auto& c : cases) {
    const sound::winmm::MidiParse parse = sound::winmm::parseMidi(QByteArray::fromStdString(c.file));
    EXPECT_EQ(parse.problem.toStdString(), "") << c.name;
    EXPECT_EQ(parse.presets, c.presets) << c.name;
    std::string played;
    for (const sound::winmm::Voicing& v : parse.played) {
      played += std::to_string(v.bank) + ":" + std::to_string(v.program);
      for (size_t k = 0; k < 128; ++k) played += v.keys[k] ? " " + std::to_string(k) : "";
      played += ";";
    }
    EXPECT_EQ(played, c.played) << c.name;
  }
}

// A tune on the SoundFont cut down for it sounds sample for sample as on the whole font:
// a bank that exists, an instrument and a kit that fall back, notes before any program
// change. A font that cannot be cut is refused (and then loaded whole).
TEST_F(Mci, ACutSoundFontSoundsAsTheWholeOne) {
  const char* path = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const auto size = std::uint64_t(in.tellg());
  const winmm::ReadAt read = [&in](std::uint64_t at, char* to, size_t n) {
    return bool(in.seekg(std::streamoff(at)).read(to, std::streamsize(n)));
  };
  const std::optional<winmm::SoundFontLayout> layout = winmm::readSoundFontLayout(read, size);
  ASSERT_TRUE(layout);
  const std::string smf = media::smf(0, {"\x00\x92\x40\x50\x00\xB0\x00\x08\x00\xC0\x30\x00\x90\x3C\x64"s
                                         "\x00\xB1\x00\x05\x00\xC1\x15\x00\x91\x48\x64"s
                                         "\x00\xC9\x63\x00\x99\x24\x64\x00\x99\x26\x64\x83\x60\x80\x3C\x00"s});
  const QByteArray cut = winmm::cutSoundFont(*layout, winmm::parseMidi(QByteArray::fromStdString(smf)).played, read);
  EXPECT_LT(cut.size(), 4 << 20);
  const auto render = [&](bool whole) {
    fluid_settings_t* settings = new_fluid_settings();
    winmm::applySynthSettings(settings, media::kRate);
    fluid_settings_setstr(settings, "player.timing-source", "sample");
    fluid_synth_t* synth = new_fluid_synth(settings);
    winmm::addMemoryFontLoader(synth);
    EXPECT_NE(whole ? fluid_synth_sfload(synth, path, 1) : winmm::loadMemoryFont(synth, cut), FLUID_FAILED);
    fluid_player_t* player = new_fluid_player(synth);
    fluid_player_add_mem(player, smf.data(), smf.size());
    fluid_player_play(player);
    std::vector<float> out(2 * media::kRate * 7 / 10);
    for (size_t at = 0; at < out.size(); at += 2 * 512)
      fluid_synth_write_float(synth, int(std::min<size_t>(512, (out.size() - at) / 2)), out.data() + at, 0, 2, out.data() + at, 1, 2);
    delete_fluid_player(player);
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    return out;
  };
  const std::vector<float> played = render(false);
  EXPECT_GT(*std::max_element(played.begin(), played.end()), 0.05f);
  // Exact against the whole font loaded at once; loaded on demand, FluidSynth rounds a
  // little differently (below -90 dB). A wrong zone or sample is heard at -20 dB.
  const std::vector<float> whole = render(true);
  for (size_t i = 0; i < played.size(); ++i) ASSERT_NEAR(played[i], whole[i], 1e-4) << i;

  // The cut is itself a font that can be cut; not when its samples are compressed or missing.
  std::string sf3 = cut.toStdString();
  sf3[sf3.find("ifil") + 8] = 3;
  const struct {
    std::string bytes;
    bool cuttable;
  } fonts[] = {{cut.toStdString(), true}, {sf3, false}, {cut.left(cut.size() / 2).toStdString(), false}, {std::string(4096, 'R'), false}};
  for (const auto& [bytes, cuttable] : fonts) {
    const winmm::ReadAt inMemory = [&](std::uint64_t at, char* to, size_t n) { return bytes.copy(to, n, size_t(at)) == n; };
    EXPECT_EQ(bool(winmm::readSoundFontLayout(inMemory, bytes.size())), cuttable);
  }
}

// The live output and a recording's offline renderer are two back-ends of one model: the
// same calls leave the same trace, in a folder the code page holds and in one it cannot.
TEST_F(Mci, LivePlayAndARecordingTraceAlike) {
  const auto script = [](engine::SoundPort& port, const std::function<void(const char*, unsigned)>& playSound) {
    port.closeMusic();
    port.playMusic("TUNE.MID");
    port.playClip("voice.wav");
    port.playMusic("bad.mid");
    port.playClip("missing.wav");
    port.playMusic("none.mid");
    port.closeMusic();
    playSound("Dummy.wav", winmm::SND_ASYNC | winmm::SND_NODEFAULT);
  };
  for (const std::string folder : {"demo dir", "café"}) {
    SCOPED_TRACE(folder);
    makeFolder(folder);
    writeFile(folder + "/tune.mid", media::midi(60, 400, 500));
    writeFile(folder + "/voice.wav", media::wav(440, 0.1));
    writeFile(folder + "/bad.mid", "MThd");
    ASSERT_EQ(::chdir((root() + "/" + folder).c_str()), 0);
    lines.clear();
    sound::SoundService live;
    script(live, [](const char* name, unsigned flags) { winmm::sndPlaySoundA(name, flags); });
    const std::vector<std::string> played = TraceCapture::traced();
    lines.clear();
    record::OfflineSound recording([] { return 0.0; }, [](const float*, int) {});
    script(recording, [&](const char* name, unsigned flags) { recording.playSound(name, flags); });
    EXPECT_EQ(TraceCapture::traced(), played);
    EXPECT_NE(std::find(played.begin(), played.end(), mci("play Midi", 0)), played.end());
  }
}

}  // namespace
