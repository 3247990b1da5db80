#include "sound/sound.h"

#include <QByteArray>

#include "platform/files.h"
#include "platform/text.h"
#include "platform/winmm.h"

namespace sound {
namespace {

// The result code and the return text are dropped: sound never stops a programme.
template <unsigned ReturnLength>
void send(const char* command) {
  char returnText[ReturnLength] = {};
  platform::winmm::mciSendStringA(command, returnText, ReturnLength, nullptr);
}

}  // namespace

QString musicPath(const QString& file) {
  // The name always follows the current directory, even when it is absolute itself.
  // A folder whose name the code page cannot hold ("café", U+301C, U+2212) would reach
  // the sequencer as another name, so every PLAY there failed; "." names the same folder.
  // Any folder the code page can hold is sent as it is.
  QString folder = platform::currentDirectory();
  if (platform::decodeAnsi(platform::encodeAnsi(folder)) != folder) folder = QStringLiteral(".");
  return folder + u'\\' + file;
}

void closeMusic() {
  try {
    send<1>("close Midi");
  } catch (...) {
  }
}

void playMusic(const QString& file) {
  try {
    // The quotes keep spaces in either part within one argument.
    const QString path = QChar(34) + musicPath(file) + QChar(34);
    closeMusic();
    const QByteArray open = platform::encodeAnsi(QStringLiteral("open ") + path + QStringLiteral(" type sequencer alias Midi"));
    send<512>(open.constData());
    // Sent even when the open failed; it then fails quietly as well.
    send<512>("play Midi");
  } catch (...) {
  }
}

void playClip(const QString& file) {
  try {
    platform::winmm::sndPlaySoundA(platform::encodeAnsi(file).constData(), platform::winmm::SND_ASYNC);
  } catch (...) {
  }
}

}  // namespace sound
