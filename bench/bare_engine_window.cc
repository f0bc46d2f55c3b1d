// The yardstick of the start-up benchmark: the plainest program that shows
// a page with the same engine, one maximised window. Ends on SIGTERM, so
// its helper processes are reaped and their time is counted.
// Usage: bare_engine_window URL
#include <QApplication>
#include <QSocketNotifier>
#include <QWebEngineView>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_fds[2];
void OnTerm(int) {
  const char byte = 1;
  if (write(g_fds[0], &byte, 1) < 0) return;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  QApplication app(argc, argv);
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_fds) != 0) return 1;
  QSocketNotifier notifier(g_fds[1], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QApplication::quit);
  signal(SIGTERM, OnTerm);
  QWebEngineView view;
  view.load(QUrl(QString::fromLocal8Bit(argv[1])));
  view.showMaximized();
  return app.exec();
}
