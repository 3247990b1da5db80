// The MCI command strings: result codes, error texts, the commands the music calls
// send, and how the layer behaves without a device or a SoundFont.
#include <gtest/gtest.h>

#include <QString>

#include "sound/sound.h"
#include "sound_fixture.h"

namespace winmm = platform::winmm;

namespace {

TEST(MciErrorText, TextsForTheCodesTheProgramMeetsCutToTheBuffer) {
  char text[1024];
  for (const auto& [code, expected] : {
           std::pair{263u, "The " "specified device is not open or is not recognized by MCI."},
           std::pair{275u, "Cannot find the " "specified file. Make sure the path and filename are correct."},
           std::pair{289u, "The " "specified alias is already being used in this application. Use a unique alias."},
       }) {
    EXPECT_TRUE(winmm::mciGetErrorStringA(code, text, sizeof text));
    EXPECT_STREQ(text, expected);
  }
  EXPECT_TRUE(winmm::mciGetErrorStringA(0, text, 8));
  EXPECT_STREQ(text, "The com");  // cut to the buffer, terminated
  EXPECT_FALSE(winmm::mciGetErrorStringA(99999, text, 8));
  EXPECT_STREQ(text, "");
}

class Mci : public SoundTest {
 protected:
  void SetUp() override {
    SoundTest::SetUp();
    writeFile("tune.mid", media::midi(60, 400, 500));
  }
  static winmm::MCIERROR send(const std::string& command) {
    char ret[512];
    return winmm::mciSendStringA(command.c_str(), ret, sizeof ret, nullptr);
  }
  static std::string mci(const QString& command, int code) {
    return "mci " + platform::trace::jsonString(command) + " " + std::to_string(code);
  }
};

// The codes the program meets, in one session: a row may depend on the rows before it.
TEST_F(Mci, ResultCodes) {
  writeFile("notmidi.mid", "hello, not a sequence");
  writeFile("tune.rmi", media::rmid(media::midi(60, 400, 500)));
  const std::string dir = root();
  const struct {
    std::string command;
    winmm::MCIERROR code;
  } steps[] = {
      {"close Midi", 263},
      {"play Midi", 263},
      {"open \"" + dir + "\\missing.mid\" type sequencer alias Midi", 275},
      {"open \"" + dir + "\" type sequencer alias Midi", 275},
      {"open \"" + dir + "\\notmidi.mid\" type sequencer alias Midi", 296},
      {"open \"" + dir + "\\TUNE.MID\" type sequencer alias Midi", 0},
      {"open " + dir + "/tune.mid type sequencer alias MIDI", 289},
      {"play midi", 0},
      {"close MIDI", 0},
      {"close Midi", 263},
      {"open tune.mid alias A", 0},
      {"open tune.rmi alias R", 0},  // RIFF-wrapped, as .RMI files are
      {"close R", 0},
      {"close all", 0},
      {"close A", 263},
  };
  for (const auto& step : steps) EXPECT_EQ(send(step.command), step.code) << step.command;
  // Anything else is refused with an error code, never a crash.
  for (const char* bad : {"", "   ", "stop Midi", "play", "open \"tune.mid", "open \"tune.mid\"x alias B",
                          "open tune.mid alias", "open tune.mid type waveaudio alias B",
                          "open tune.mid type sequencer type sequencer alias B", "open tune.mid shareable alias B"})
    EXPECT_NE(send(bad), 0u) << bad;
  EXPECT_EQ(send("close B"), 263u);
  EXPECT_NE(winmm::mciSendStringA(nullptr, nullptr, 0, nullptr), 0u);
}

// A folder and a name, a name with a space, an empty name, a name with a double quote
// (it cannot break out of the quotes to add words), and the root folder.
TEST_F(Mci, CommandsTheMusicCallsSend) {
  makeFolder("demo dir");
  writeFile("demo dir/op.mid", media::midi(60, 400, 500));
  writeFile("demo dir/my song.mid", media::midi(60, 400, 500));
  ASSERT_EQ(::chdir("demo dir"), 0);
  const QString folder = QString::fromStdString(root()) + "/demo dir";
  sound::playMusic("OP.MID");
  sound::playMusic("my song.mid");
  sound::playMusic("");
  sound::playMusic("op.mid\" alias Other");
  EXPECT_EQ(send("close Other"), 263u);
  sound::closeMusic();
  // A folder the code page holds goes in as it is; one it cannot hold is named ".".
  for (const char* folder : {"番組", "café 波〜−"}) {
    makeFolder(folder);
    writeFile(std::string(folder) + "/op.mid", media::midi(60, 400, 500));
    ASSERT_EQ(::chdir((root() + "/" + folder).c_str()), 0);
    sound::playMusic("OP.MID");
  }
  ASSERT_EQ(::chdir("/"), 0);
  sound::playMusic("OP.MID");
  EXPECT_EQ(traced("mci "), (std::vector<std::string>{
                                mci("close Midi", 263),
                                mci("open \"" + folder + "\\OP.MID\" type sequencer alias Midi", 0),
                                mci("play Midi", 0),
                                mci("close Midi", 0),
                                mci("open \"" + folder + "\\my song.mid\" type sequencer alias Midi", 0),
                                mci("play Midi", 0),
                                mci("close Midi", 0),
                                mci("open \"" + folder + "\\\" type sequencer alias Midi", 275),
                                mci("play Midi", 263),
                                mci("close Midi", 263),
                                mci("open \"" + folder + "\\op.mid\" alias Other\" type sequencer alias Midi", 305),
                                mci("play Midi", 263),
                                mci("close Other", 263),
                                mci("close Midi", 263),
                                mci("close Midi", 263),
                                mci("open \"" + QString::fromStdString(root()) + "/番組\\OP.MID\" type sequencer alias Midi", 0),
                                mci("play Midi", 0),
                                mci("close Midi", 0),
                                mci("open \".\\OP.MID\" type sequencer alias Midi", 0),
                                mci("play Midi", 0),
                                mci("close Midi", 0),
                                mci("open \"/\\OP.MID\" type sequencer alias Midi", 275),
                                mci("play Midi", 263),
                            }));
}

TEST_F(Mci, SoundFontIsLoadedOncePerProcess) {
  ASSERT_TRUE(winmm::test_hooks::waitForMidi(10000));
  for (int i = 0; i < 5; ++i) sound::playMusic("tune.mid");
  sound::closeMusic();
  EXPECT_EQ(winmm::test_hooks::soundFontLoads(), 1);
}

TEST_F(Mci, WithoutAnAudioDeviceEveryCallFailsQuietly) {
  ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  writeFile("voice.wav", media::wav(440, 0.1));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(send("open tune.mid type sequencer alias Midi"), 262u);
  EXPECT_EQ(send("play Midi"), 263u);
  EXPECT_FALSE(winmm::sndPlaySoundA("voice.wav", winmm::SND_ASYNC));
  EXPECT_FALSE(winmm::sndPlaySoundA("missing.wav", winmm::SND_ASYNC));
  sound::playMusic("tune.mid");
  sound::playClip("voice.wav");
  // The device is tried again, at most once a second.
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  EXPECT_FALSE(winmm::sndPlaySoundA("voice.wav", winmm::SND_ASYNC));
  winmm::test_hooks::passTime(1000);
  EXPECT_TRUE(winmm::sndPlaySoundA("voice.wav", winmm::SND_ASYNC));
  EXPECT_EQ(send("open tune.mid type sequencer alias Midi"), 0u);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.find("kivo: no sound"), err.rfind("kivo: no sound")) << err;  // one line for the outage
  EXPECT_NE(err.find("kivo: no sound"), std::string::npos) << err;
}

// Damaged and hostile MIDI files are refused at open: silence, and the programme goes on.
TEST_F(Mci, DamagedMidiFilesStaySilent) {
  const std::string good = media::midi(60, 400, 500);
  std::string huge = good;  // the track claims 2 GB
  huge.replace(18, 4, std::string("\x7F\xFF\xFF\xF0", 4));
  std::string noStatus = good;  // a data byte where the first event's status belongs
  noStatus[23] = 0x40;
  const struct {
    const char* name;
    std::string bytes;
  } files[] = {
      {"cut.mid", good.substr(0, good.size() / 2)},
      {"header.mid", good.substr(0, 16)},
      {"garbage.mid", std::string(4096, '\xA5')},
      {"noise.mid", "MThd" + std::string(2000, '\x81')},
      {"huge.mid", huge},
      {"nostatus.mid", noStatus},
      {"smpte.mid", media::patched(good, 12, 0x28E7, 2)},
      {"empty.rmi", media::rmid("")},
  };
  ASSERT_TRUE(winmm::test_hooks::waitForMidi(10000));
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    writeFile(f.name, f.bytes);
    EXPECT_FALSE(winmm::musicFileProblem(f.name).isEmpty());
    EXPECT_EQ(send("open " + std::string(f.name) + " alias Midi"), 296u);
    EXPECT_EQ(send("play Midi"), 263u);
  }
  EXPECT_EQ(winmm::musicFileProblem("tune.mid").toStdString(), "");
  EXPECT_EQ(winmm::musicFileProblem("missing.mid").toStdString(), "file not found");
}

TEST_F(Mci, WithoutASoundFontMusicFailsWithOneMessage) {
  ::setenv("SDL_SOUNDFONTS", (root() + "/none.sf2").c_str(), 1);
  writeFile("voice.wav", media::wav(440, 0.1));
  EXPECT_TRUE(winmm::sndPlaySoundA("voice.wav", winmm::SND_ASYNC));  // clips need no SoundFont
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(send("open tune.mid type sequencer alias Midi"), 343u);
  EXPECT_EQ(send("open tune.mid type sequencer alias Midi"), 343u);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(err.find("kivo: no music"), std::string::npos) << err;
}

}  // namespace
