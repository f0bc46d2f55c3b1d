#include "engine/qt/engine_log_qt.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <mutex>
#include <fcntl.h>
#include <unistd.h>

namespace engine {

namespace {

std::mutex g_engine_log_mutex;
std::string g_engine_log;

void ToEngineLog(QtMsgType type, const QMessageLogContext&, const QString& message) {
  const QByteArray text = message.toUtf8().trimmed();
  static const char* const kTypes[] = {"debug", "warning", "critical", "fatal", "info"};
  const char* kind = type >= QtDebugMsg && type <= QtInfoMsg ? kTypes[type] : "note";
  if (type == QtFatalMsg) std::fprintf(stderr, "%s\n", text.constData());
  std::lock_guard<std::mutex> lock(g_engine_log_mutex);
  const int fd = g_engine_log.empty() ? -1 : open(g_engine_log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const QByteArray line = QByteArray("[qt ") + kind + "] " + text + "\n";
  // A failed write has nowhere else to go: the note is lost, nothing more.
  [[maybe_unused]] const ssize_t written = write(fd, line.constData(), static_cast<size_t>(line.size()));
  close(fd);
}

}  // namespace

void SendQtMessagesTo(const std::string& path) {
  {
    std::lock_guard<std::mutex> lock(g_engine_log_mutex);
    g_engine_log = path;
  }
  qInstallMessageHandler(ToEngineLog);
}

}  // namespace engine
