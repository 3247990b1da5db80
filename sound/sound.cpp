#include "sound/sound.h"

#include <QByteArray>

#include "platform/files.h"
#include "platform/text.h"
#include "platform/winmm.h"

namespace sound {
namespace {

using platform::winmm::MCIERROR;

// Result code and return text are converted back and dropped: sound never stops a programme.
template <unsigned ReturnLength>
void send(const char* command) {
  char returnText[ReturnLength] = {};
  const MCIERROR code = platform::winmm::mciSendStringA(command, returnText, ReturnLength, nullptr);
  (void)platform::decodeAnsi(QByteArrayView(returnText, qsizetype(qstrnlen(returnText, ReturnLength))));
  char errorText[1024] = {};
  platform::winmm::mciGetErrorStringA(code, errorText, 1024);
  (void)platform::decodeAnsi(QByteArrayView(errorText, qsizetype(qstrnlen(errorText, 1024))));
}

}  // namespace

void closeMusic() {
  try {
    send<1>("close Midi");
  } catch (...) {
  }
}

void playMusic(const QString& file) {
  try {
    // The name always follows the current directory, even when it is absolute itself;
    // the quotes keep spaces in either part within one argument.
    // A folder whose name the code page cannot hold ("café", U+301C, U+2212) would reach
    // the sequencer as another name, so every PLAY there failed; "." names the same folder.
    // Any folder the code page can hold is sent as it is.
    QString folder = platform::currentDirectory();
    if (platform::decodeAnsi(platform::encodeAnsi(folder)) != folder) folder = QStringLiteral(".");
    const QString path = QChar(34) + folder + u'\\' + file + QChar(34);
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
