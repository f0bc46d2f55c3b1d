#ifndef PLATFORM_WINDOW_SOCKET_H_
#define PLATFORM_WINDOW_SOCKET_H_

#include <QLocalServer>
#include <QObject>
#include <string>

class QLocalSocket;

namespace platform {

// Path of the local socket published for a class and title.
std::string WindowSocketPath(const std::string& class_name, const std::string& title);

// Answers the requests of other processes on the socket of one class and
// title, against the window of this process registered under them.
class WindowSocketServer : public QObject {
 public:
  // Listens on |path|; a socket file nobody answers on (left by a process
  // that died) is taken over, a live process keeps its own.
  WindowSocketServer(const std::string& path, std::string class_name, std::string title);

 private:
  void Accept();
  void Serve(QLocalSocket* socket);

  QLocalServer server_;
  std::string class_name_;
  std::string title_;
};

// Whether a process answers on the socket at |path|.
bool WindowSocketAnswers(const std::string& path);
// Sends one request line to |path| and waits (5 s at most) for the reply
// line; empty when none came.
std::string RemoteRequest(const std::string& path, const std::string& request);

}  // namespace platform

#endif  // PLATFORM_WINDOW_SOCKET_H_
