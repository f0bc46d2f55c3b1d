#include "platform/desktop_services.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QApplication>
#include <QWidget>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "platform/process.h"

namespace platform {

bool SetClipboardUnicodeText(const std::u16string& text) {
  if (!qGuiApp) return false;
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return false;
  const size_t end = text.find(u'\0');
  clipboard->setText(QString::fromStdU16String(text.substr(0, end)));
  return true;
}

bool SetClipboardBytes(const std::string& bytes) {
  if (!qGuiApp) return false;
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return false;
  auto* data = new QMimeData;
  data->setData(QStringLiteral("text/plain"), QByteArray::fromStdString(bytes.substr(0, bytes.find('\0'))));
  clipboard->setMimeData(data);
  return true;
}

int DisplayCount() { return qGuiApp ? static_cast<int>(QGuiApplication::screens().size()) : 0; }

Rect SecondaryDisplayRect() {
  if (!qGuiApp) return {};
  const QScreen* primary = QGuiApplication::primaryScreen();
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen == primary) continue;
    const QRect r = screen->geometry();
    return {r.x(), r.y(), r.width(), r.height()};
  }
  return {};
}

namespace {

// Runs a program without waiting for it: |done| gets its exit code (-1 for
// a crash) and output once it has ended, or, when it could not be started
// or has not ended after |timeout_ms|, runs with |started| saying which
// (a program still running is left to finish on its own). UI thread.
void RunInBackground(const QString& program, const QStringList& arguments, int timeout_ms,
                     const QString& working_directory,
                     std::function<void(bool started, bool ended, int exit_code, const QByteArray& output)> done) {
  auto* process = new QProcess(qApp);
  if (!working_directory.isEmpty()) process->setWorkingDirectory(working_directory);
  auto finish = std::make_shared<std::function<void(bool, bool, int, const QByteArray&)>>(std::move(done));
  auto answer = [finish](bool started, bool ended, int exit_code, const QByteArray& output) {
    if (!*finish) return;
    auto once = std::move(*finish);
    *finish = nullptr;
    once(started, ended, exit_code, output);
  };
  QObject::connect(process, &QProcess::errorOccurred, process, [process, answer](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    answer(false, false, -1, {});
    process->deleteLater();
  });
  QObject::connect(process, &QProcess::finished, process, [process, answer](int exit_code, QProcess::ExitStatus status) {
    answer(true, true, status == QProcess::NormalExit ? exit_code : -1, process->readAllStandardOutput());
    process->deleteLater();
  });
  QTimer::singleShot(timeout_ms, process, [answer] { answer(true, false, -1, {}); });
  process->start(program, arguments);
}

}  // namespace

bool ExtendDesktopToSecondDisplay(int timeout_ms) {
  if (!qApp || FindProgramInPath("xrandr").empty()) return false;
  RunInBackground(QStringLiteral("xrandr"), {QStringLiteral("--query")}, timeout_ms, QString(),
                  [timeout_ms](bool, bool ended, int, const QByteArray& outputs) {
                    if (!ended) return;
                    QStringList connected;
                    for (const QString& line : QString::fromLocal8Bit(outputs).split('\n'))
                      if (line.contains(QLatin1String(" connected"))) connected << line.section(' ', 0, 0);
                    if (connected.size() < 2) return;
                    RunInBackground(QStringLiteral("xrandr"),
                                    {QStringLiteral("--output"), connected[1], QStringLiteral("--auto"),
                                     QStringLiteral("--right-of"), connected[0]},
                                    timeout_ms, QString(), [](bool, bool, int, const QByteArray&) {});
                  });
  return true;
}

bool DevicesListKeyboard(const std::string& devices_text) {
  // Blocks are separated by blank lines; a keyboard has the "kbd" handler
  // and repeating keys (EV_REP, bit 20 of the event-type mask).
  std::istringstream in(devices_text);
  std::string line;
  bool kbd = false, repeats = false;
  auto finish = [&] {
    const bool found = kbd && repeats;
    kbd = repeats = false;
    return found;
  };
  while (std::getline(in, line)) {
    if (line.empty()) {
      if (finish()) return true;
      continue;
    }
    if (line.rfind("H: Handlers=", 0) == 0) kbd = (" " + line.substr(12) + " ").find(" kbd ") != std::string::npos;
    if (line.rfind("B: EV=", 0) == 0) {
      const unsigned long mask = std::strtoul(line.substr(6).c_str(), nullptr, 16);
      repeats = mask & (1ul << 20);
    }
  }
  return finish();
}

bool HasKeyboardDevice() {
  std::ifstream in("/proc/bus/input/devices");
  if (!in) return false;
  std::stringstream text;
  text << in.rdbuf();
  return DevicesListKeyboard(text.str());
}

bool StartProgramByName(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return StartHiddenCommand(argv);
}

bool OpenWithDefaultHandler(const std::string& url, int timeout_ms, const std::string& working_directory,
                            std::function<void(bool opened)> done) {
  if (!qApp || FindProgramInPath("xdg-open").empty()) {
    if (done) done(false);
    return false;
  }
  RunInBackground(QStringLiteral("xdg-open"), {QString::fromStdString(url)}, timeout_ms,
                  QString::fromStdString(working_directory),
                  [done = std::move(done)](bool started, bool ended, int exit_code, const QByteArray&) {
                    // Still running: a handler is starting.
                    if (done) done(started && (!ended || exit_code == 0));
                  });
  return true;
}

bool ShowDesktopNotification(const std::string& title, const std::string& message) {
  QDBusInterface service(QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
                         QStringLiteral("org.freedesktop.Notifications"));
  if (!service.isValid()) return false;
  const QDBusMessage reply = service.call(QStringLiteral("Notify"), QCoreApplication::applicationName(), 0u,
                                          QString(), QString::fromStdString(title), QString::fromStdString(message),
                                          QStringList(), QVariantMap(), -1);
  return reply.type() == QDBusMessage::ReplyMessage;
}

void RequestAttention(QWidget* window) {
  if (window && (window->isMinimized() || !window->isActiveWindow())) QApplication::alert(window);
}

}  // namespace platform
