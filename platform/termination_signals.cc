#include "platform/termination_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

int g_signal_fds[2] = {-1, -1};
QSocketNotifier* g_notifier = nullptr;

// Only async-signal-safe work here: one byte to the UI thread.
void OnSignal(int number) {
  const int saved = errno;
  const char byte = static_cast<char>(number);
  // A full socket already holds signals enough to act on.
  if (write(g_signal_fds[0], &byte, 1) < 0) errno = saved;
  errno = saved;
}

}  // namespace

void HandleTerminationSignals(std::function<void(int count)> on_signal) {
  if (!qApp || g_signal_fds[0] >= 0) return;
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signal_fds) != 0) return;
  g_notifier = new QSocketNotifier(g_signal_fds[1], QSocketNotifier::Read, qApp);
  QObject::connect(g_notifier, &QSocketNotifier::activated, g_notifier, [on_signal = std::move(on_signal)] {
    static int count = 0;
    char bytes[16];
    while (read(g_signal_fds[1], bytes, sizeof(bytes)) > 0) on_signal(++count);
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
}

void StopHandlingTerminationSignals() {
  for (int number : {SIGTERM, SIGINT, SIGHUP}) signal(number, SIG_DFL);
  // What the handler acts on may go next.
  delete g_notifier;
  g_notifier = nullptr;
  for (int& fd : g_signal_fds) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace platform
