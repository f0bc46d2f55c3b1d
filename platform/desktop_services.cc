#include "platform/desktop_services.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QApplication>
#include <QWidget>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include "platform/process.h"
#include "platform/runtime_folder.h"

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

namespace {

const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");

// The program's icon as a file the notification service can read (it runs
// in another process and knows nothing of our resources).
QString NotificationIconPath() {
  static const QString path = [] {
    const std::string folder = RuntimeFolder();
    if (folder.empty()) return QString();
    const QString file = QString::fromStdString(folder) + QStringLiteral("/veltrocrm-notification.png");
    QFile::remove(file);
    return QFile::copy(QStringLiteral(":/icons/veltrocrm-64.png"), file) ? file : QString();
  }();
  return path;
}

// The service's answers for the notifications this process showed: a
// click on one of them runs what was given with it.
class NotificationClicks : public QObject {
  Q_OBJECT

 public:
  static NotificationClicks& Instance() {
    static auto* clicks = new NotificationClicks(qApp);
    return *clicks;
  }
  void Add(uint id, std::function<void()> on_click) {
    if (!on_click) return;
    // The service forgets notifications; a bound keeps us from growing.
    if (clicks_.size() >= 64) clicks_.erase(clicks_.begin());
    clicks_[id] = std::move(on_click);
  }

 private:
  explicit NotificationClicks(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(kNotifications, kNotificationsPath, kNotifications, QStringLiteral("ActionInvoked"), this,
                SLOT(OnActionInvoked(uint, QString)));
    bus.connect(kNotifications, kNotificationsPath, kNotifications, QStringLiteral("NotificationClosed"), this,
                SLOT(OnClosed(uint, uint)));
  }

 private slots:
  void OnActionInvoked(uint id, const QString& action) {
    const auto click = clicks_.find(id);
    if (click == clicks_.end() || action != QStringLiteral("default")) return;
    const std::function<void()> on_click = std::move(click->second);
    clicks_.erase(click);
    on_click();
  }
  void OnClosed(uint id, uint) { clicks_.erase(id); }

 private:
  std::map<uint, std::function<void()>> clicks_;
};

}  // namespace

void ShowDesktopNotification(const std::string& title, const std::string& message,
                             std::function<void()> on_click, std::function<void()> on_failed) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    if (on_failed) on_failed();
    return;
  }
  NotificationClicks& clicks = NotificationClicks::Instance();
  QDBusMessage call = QDBusMessage::createMethodCall(kNotifications, kNotificationsPath, kNotifications,
                                                     QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("veltrocrm"));
  // "default" is the action of a click on the notification itself.
  call << QGuiApplication::applicationDisplayName() << 0u << NotificationIconPath() << QString::fromStdString(title)
       << QString::fromStdString(message) << QStringList{QStringLiteral("default"), QStringLiteral("打开")} << hints
       << -1;
  // Asked without waiting: a service that hangs must not hang the window.
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), &clicks);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &clicks,
                   [&clicks, on_click = std::move(on_click), on_failed = std::move(on_failed)](
                       QDBusPendingCallWatcher* finished) mutable {
                     finished->deleteLater();
                     const QDBusPendingReply<uint> reply = *finished;
                     if (reply.isError()) {
                       if (on_failed) on_failed();
                       return;
                     }
                     clicks.Add(reply.value(), std::move(on_click));
                   });
}

void RequestAttention(QWidget* window) {
  if (window && (window->isMinimized() || !window->isActiveWindow())) QApplication::alert(window);
}

}  // namespace platform

#include "desktop_services.moc"
