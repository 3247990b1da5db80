// The MCI command strings: result codes, error texts, the commands the music calls
// send, and how the layer behaves without a device or a SoundFont.
#include <gtest/gtest.h>

#include <QString>
#include <sys/stat.h>

#include "sound/sound.h"
#include "sound_fixture.h"

namespace winmm = platform::winmm;

namespace {

std::string errorText(winmm::MCIERROR code, unsigned length = 1024) {
  std::string text(length, 'x');
  winmm::mciGetErrorStringA(code, text.data(), length);
  return text.c_str();
}

TEST(MciErrorText, TextsForTheCodesTheProgramMeets) {
  EXPECT_EQ(errorText(263), "The specified device is not open or is not recognized by MCI.");
  EXPECT_EQ(errorText(275), "Cannot find the specified file. Make sure the path and filename are correct.");
  EXPECT_EQ(errorText(289), "The specified alias is already being used in this application. Use a unique alias.");
  char buf[8];
  EXPECT_TRUE(winmm::mciGetErrorStringA(0, buf, sizeof buf));
  EXPECT_STREQ(buf, "The spe");  // cut to the buffer, terminated
  EXPECT_FALSE(winmm::mciGetErrorStringA(99999, buf, sizeof buf));
  EXPECT_STREQ(buf, "");
}

class Mci : public SoundTest {
 protected:
  void SetUp() override {
    SoundTest::SetUp();
    writeFile("tune.mid", media::midi({{0, 400, 60}}, 500));
    writeFile("notmidi.mid", "hello, not a sequence");
  }
  static winmm::MCIERROR send(const std::string& command) {
    char ret[512];
    return winmm::mciSendStringA(command.c_str(), ret, sizeof ret, nullptr);
  }
  // The "mci" trace lines without their time stamps.
  std::vector<std::string> mciLines() const {
    std::vector<std::string> out;
    for (const std::string& line : trace_) {
      const std::string rest = line.substr(line.find(' ') + 1);
      if (rest.rfind("mci ", 0) == 0) out.push_back(rest.substr(0, rest.size() - 1));
    }
    return out;
  }
  static std::string mci(const QString& command) { return "mci " + platform::trace::jsonString(command); }
  static std::string mci(const QString& command, int code) { return mci(command) + " " + std::to_string(code); }
  static std::string withoutCode(const std::string& line) { return line.substr(0, line.rfind(' ')); }
  static int codeOf(const std::string& line) { return std::stoi(line.substr(line.rfind(' ') + 1)); }
};

TEST_F(Mci, ResultCodes) {
  const std::string dir = root();
  const struct {
    std::string command;
    winmm::MCIERROR code;
  } steps[] = {
      {"close Midi", 263},
      {"play Midi", 263},
      {"open \"" + dir + "\\missing.mid\" type sequencer alias Midi", 275},
      {"open \"" + dir + "\\notmidi.mid\" type sequencer alias Midi", 296},
      {"open \"" + dir + "\" type sequencer alias Midi", 275},
      {"open \"" + dir + "\\TUNE.MID\" type sequencer alias Midi", 0},
      {"open " + dir + "/tune.mid type sequencer alias MIDI", 289},
      {"play midi", 0},
      {"play Midi", 0},
      {"close MIDI", 0},
      {"close Midi", 263},
      {"open " + dir + "/tune.mid alias A", 0},
      {"close all", 0},
      {"close A", 263},
      {"", 267},
      {"   ", 267},
      {"stop Midi", 261},
      {"play", 292},
      {"open \"" + dir + "/tune.mid", 294},
      {"open \"" + dir + "/tune.mid\"x type sequencer alias B", 305},
      {"open \"" + dir + "/tune.mid\" type sequencer alias", 269},
      {"open \"" + dir + "/tune.mid\" type waveaudio alias B", 263},
      {"open \"" + dir + "/tune.mid\" type sequencer type sequencer alias B", 295},
      {"open \"" + dir + "/tune.mid\" shareable alias B", 259},
      {"play B", 263},
  };
  for (const auto& step : steps) EXPECT_EQ(send(step.command), step.code) << step.command;
  EXPECT_EQ(winmm::mciSendStringA(nullptr, nullptr, 0, nullptr), 267u);
}

TEST_F(Mci, QuoteInsideTheNameCannotAddWords) {
  sound::playMusic("tune.mid\" type sequencer alias Other");
  sound::playMusic("tune.mid\" \"tune.mid");
  EXPECT_EQ(send("close Other"), 263u);
  EXPECT_EQ(send("close Midi"), 263u);
  const auto lines = mciLines();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_NE(codeOf(lines[1]), 0);
  EXPECT_NE(codeOf(lines[4]), 0);
}

TEST_F(Mci, CommandsForAFolderAndAName) {
  ASSERT_EQ(::mkdir("demo dir", 0755), 0);
  writeFile("demo dir/op.mid", media::midi({{0, 400, 60}}, 500));
  writeFile("demo dir/my song.mid", media::midi({{0, 400, 60}}, 500));
  ASSERT_EQ(::chdir("demo dir"), 0);
  const QString folder = QString::fromStdString(root()) + "/demo dir";

  sound::playMusic("OP.MID");
  sound::playMusic("my song.mid");
  sound::playMusic("");
  EXPECT_EQ(mciLines(), (std::vector<std::string>{
                            mci("close Midi", 263),
                            mci("open \"" + folder + "\\OP.MID\" type sequencer alias Midi", 0),
                            mci("play Midi", 0),
                            mci("close Midi", 0),
                            mci("open \"" + folder + "\\my song.mid\" type sequencer alias Midi", 0),
                            mci("play Midi", 0),
                            mci("close Midi", 0),
                            mci("open \"" + folder + "\\\" type sequencer alias Midi", 275),
                            mci("play Midi", 263),
                        }));
  trace_.clear();
  sound::closeMusic();
  EXPECT_EQ(mciLines(), std::vector<std::string>{mci("close Midi", 263)});
}

TEST_F(Mci, RootFolderGivesTwoSeparators) {
  ASSERT_EQ(::chdir("/"), 0);
  sound::playMusic("OP.MID");
  const auto lines = mciLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(withoutCode(lines[1]), mci("open \"/\\OP.MID\" type sequencer alias Midi"));
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
  sound::closeMusic();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(err.find("kivo: no sound"), std::string::npos) << err;
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
