// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <SDL.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "platform/process.h"
#include "platform/trace.h"
#include "sound/sound.h"

namespace app {

namespace {

int pipeEnds[2] = {-1, -1};
volatile std::sig_atomic_t caught = 0;
volatile std::sig_atomic_t atOnce = 0;

// Only async-signal-safe calls here: the rest happens where the mode notices the signal.
void onSignal(int number) {
  if (atOnce) ::_exit(128 + number);
  const int saved = errno;
  if (caught == 0) caught = number;
  const unsigned char byte = static_cast<unsigned char>(number);
  // A full pipe already holds a signal that ends the program.
  if (pipeEnds[1] >= 0) {
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
  }
  errno = saved;
}

}  // namespace

void endProgram(int status) {
  sound::closeMusic();
  platform::endProcess(status);
}

int caughtSignal() { return caught; }

void endOnSignals(SignalNotice notice) {
  // SDL would otherwise catch SIGINT and SIGTERM itself and turn them into quit events
  // nobody reads.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  atOnce = notice == SignalNotice::AtOnce;
  if (notice == SignalNotice::EventLoop) {
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
      std::fprintf(stderr, "kivo: signals keep their default action: %s\n", std::strerror(errno));
      return;
    }
    auto* notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
      unsigned char byte = 0;
      if (::read(pipeEnds[0], &byte, 1) != 1) return;
      platform::trace::Event("signal").num(byte);
      endProgram(128 + byte);
    });
  }
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}

}  // namespace app
