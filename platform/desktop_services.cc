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
#include <fstream>
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

enum class RunResult { kNotStarted, kFinished, kStillRunning };

// Runs a program and waits up to |timeout_ms|; one still running then is
// left to finish on its own.
RunResult RunWithTimeout(const QString& program, const QStringList& arguments, int timeout_ms, int* exit_code,
                         QByteArray* output = nullptr, const QString& working_directory = QString()) {
  auto* process = new QProcess(qApp);
  if (!working_directory.isEmpty()) process->setWorkingDirectory(working_directory);
  process->start(program, arguments);
  if (!process->waitForStarted(timeout_ms)) {
    delete process;
    return RunResult::kNotStarted;
  }
  if (!process->waitForFinished(timeout_ms)) {
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    return RunResult::kStillRunning;
  }
  *exit_code = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
  if (output) *output = process->readAllStandardOutput();
  delete process;
  return RunResult::kFinished;
}

}  // namespace

bool ExtendDesktopToSecondDisplay(int timeout_ms) {
  if (!qApp || FindProgramInPath("xrandr").empty()) return false;
  int exit_code = 0;
  QByteArray outputs;
  const RunResult query = RunWithTimeout(QStringLiteral("xrandr"), {QStringLiteral("--query")}, timeout_ms,
                                         &exit_code, &outputs);
  if (query == RunResult::kNotStarted) return false;
  if (query == RunResult::kStillRunning) return true;
  QStringList connected;
  for (const QString& line : QString::fromLocal8Bit(outputs).split('\n'))
    if (line.contains(QLatin1String(" connected"))) connected << line.section(' ', 0, 0);
  if (connected.size() < 2) return true;
  return RunWithTimeout(QStringLiteral("xrandr"),
                        {QStringLiteral("--output"), connected[1], QStringLiteral("--auto"),
                         QStringLiteral("--right-of"), connected[0]},
                        timeout_ms, &exit_code) != RunResult::kNotStarted;
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

bool OpenWithDefaultHandler(const std::string& url, int timeout_ms, const std::string& working_directory) {
  if (!qApp || FindProgramInPath("xdg-open").empty()) return false;
  int exit_code = -1;
  switch (RunWithTimeout(QStringLiteral("xdg-open"), {QString::fromStdString(url)}, timeout_ms, &exit_code, nullptr,
                         QString::fromStdString(working_directory))) {
    case RunResult::kNotStarted: return false;
    case RunResult::kStillRunning: return true;  // a handler is starting
    case RunResult::kFinished: return exit_code == 0;
  }
  return false;
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
