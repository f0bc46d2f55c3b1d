#include "telephony/mobile_call_listener.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <system_error>
#include <utility>

#include "env/logs.h"
#include "platform/message_box.h"

namespace telephony {

namespace {

constexpr int kPollMs = 200;  // how often the thread looks at its stop flag
constexpr size_t kMaxNumberBytes = 63;

}  // namespace

bool ParseCallDatagram(const char* data, size_t length, std::string& number) {
  length = std::min(length, kDatagramBytes);
  if (length < 4 || std::memcmp(data, "tel:", 4) != 0) return false;
  size_t offset = 4;
  if (length >= 7 && std::memcmp(data + 4, "+86", 3) == 0) offset = 7;
  number.clear();
  for (size_t i = offset; i < length && data[i] != '\0' && number.size() < kMaxNumberBytes; ++i)
    number.push_back(data[i]);
  return true;
}

MobileCallListener::MobileCallListener(MobileCallTable& table, std::function<bool()> delivery_enabled,
                                       std::function<bool(uintptr_t)> announce, std::chrono::milliseconds slot_wait)
    : table_(table),
      delivery_enabled_(std::move(delivery_enabled)),
      announce_(std::move(announce)),
      ring_(table, slot_wait) {}

MobileCallListener::~MobileCallListener() { Stop(); }

MobileCallListener::StartResult MobileCallListener::Start(uint16_t port) {
  socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (socket_ < 0) return StartResult::kNoSocket;
  // No SO_REUSEADDR: with it, another local user could bind the same port
  // and take the calls; without it, a second binder is a port conflict.
  const int on = 1;
  setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(socket_);
    socket_ = -1;
    return StartResult::kPortTaken;
  }
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  return StartResult::kStarted;
}

void MobileCallListener::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (socket_ >= 0) close(socket_);
  socket_ = -1;
}

void MobileCallListener::Run() {
  pollfd p{socket_, POLLIN, 0};
  char buffer[kDatagramBytes];
  while (!stop_) {
    if (poll(&p, 1, kPollMs) <= 0) continue;
    std::memset(buffer, 0, sizeof(buffer));
    // A longer datagram is cut to the buffer; the rest is discarded.
    const ssize_t received = recv(socket_, buffer, sizeof(buffer), 0);
    if (received < 0) continue;
    HandleDatagram(buffer, static_cast<size_t>(received));
  }
}

void MobileCallListener::HandleDatagram(const char* data, size_t length) {
  const size_t slot = ring_.NextSlot([this] { return stop_.load(); });
  table_.Clear(slot);
  std::string number;
  if (!ParseCallDatagram(data, length, number)) return;
  ring_.Announce(slot, number, [this](uintptr_t announcement) { return delivery_enabled_() && announce_(announcement); });
}

std::vector<unsigned long> SocketInodesOnPort(const std::string& proc_net_udp, uint16_t port) {
  std::vector<unsigned long> inodes;
  std::istringstream in(proc_net_udp);
  std::string line;
  std::getline(in, line);  // the column titles
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
    unsigned long inode = 0;
    if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode))
      continue;
    const size_t colon = local.rfind(':');
    if (colon == std::string::npos) continue;
    if (std::strtoul(local.c_str() + colon + 1, nullptr, 16) == port && inode != 0) inodes.push_back(inode);
  }
  return inodes;
}

std::vector<std::string> FindPortUsers(uint16_t port) {
  std::vector<unsigned long> inodes;
  for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
    std::ifstream in(table);
    std::stringstream text;
    text << in.rdbuf();
    for (unsigned long inode : SocketInodesOnPort(text.str(), port)) inodes.push_back(inode);
  }
  std::vector<std::string> names;
  if (inodes.empty()) return names;
  DIR* proc = opendir("/proc");
  if (!proc) return names;
  while (dirent* entry = readdir(proc)) {
    const std::string pid = entry->d_name;
    if (pid.empty() || !std::all_of(pid.begin(), pid.end(), ::isdigit)) continue;
    const std::string fd_dir = "/proc/" + pid + "/fd/";
    DIR* fds = opendir(fd_dir.c_str());
    if (!fds) continue;
    bool holds = false;
    while (dirent* fd = readdir(fds)) {
      char target[64];
      const ssize_t n = readlink((fd_dir + fd->d_name).c_str(), target, sizeof(target) - 1);
      if (n <= 0) continue;
      target[n] = '\0';
      unsigned long inode = 0;
      if (std::sscanf(target, "socket:[%lu]", &inode) == 1 &&
          std::find(inodes.begin(), inodes.end(), inode) != inodes.end())
        holds = true;
    }
    closedir(fds);
    if (!holds) continue;
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  closedir(proc);
  return names;
}

namespace {

// The process's mobile capture state; the flags are written on the main
// window's thread, and the started flag also by a listener that failed.
struct MobileCapture {
  std::atomic<bool> delivery_enabled{false};
  std::atomic<bool> listener_started{false};
  // The last start could not bind: someone else may be getting the calls.
  std::atomic<bool> start_failed{false};
  std::mutex mutex;  // guards the members below
  std::unique_ptr<MobileCallListener> listener;
  std::thread starter;
};

MobileCapture& Capture() {
  static MobileCapture capture;
  return capture;
}

// The port is taken: name the programs that hold it.
void ReportPortConflict() {
  const std::vector<std::string> names = FindPortUsers(kMobileCallPort);
  if (names.empty()) {
    platform::ShowMessageBox(nullptr, "手机来电捕捉启动失败，请重启软件", "提示", platform::MB_OK);
    return;
  }
  std::string text = "请关闭以下应用后，再次启动手机捕捉功能\n\n";
  for (const std::string& name : names) text += name + "\n";
  platform::ShowMessageBox(nullptr, text, "提示", platform::MB_OK);
}

}  // namespace

bool OnMobileCaptureOn() {
  MobileCapture& capture = Capture();
  capture.delivery_enabled = true;
  // Listening, or a failed start still telling the user: that answer stands.
  if (capture.listener_started.exchange(true)) return !capture.start_failed;
  std::lock_guard<std::mutex> lock(capture.mutex);
  // The report of an earlier failure has ended; collect its thread.
  if (capture.starter.joinable()) capture.starter.join();
  capture.listener.reset();
  auto listener = std::make_unique<MobileCallListener>(
      GetMobileCallTable(), [&capture] { return capture.delivery_enabled.load(); },
      [](uintptr_t announcement) { return AnnounceToMainWindow(CALL_SOURCE_MOBILE, announcement); });
  // The bind takes no time and decides the answer: the page is never told
  // capture works while another program may be getting the calls.
  MobileCallListener::StartResult result;
  try {
    result = listener->Start(kMobileCallPort);
  } catch (const std::system_error&) {
    capture.start_failed = true;
    // The started flag stays set, as after any start-up failure.
    platform::ShowMessageBox(nullptr, "手机来电捕捉启动失败，请重启软件", "提示", platform::MB_OK);
    env::WriteProgramLog("接收手机来电线程启动失败");
    return false;
  }
  capture.start_failed = result != MobileCallListener::StartResult::kStarted;
  if (!capture.start_failed) {
    capture.listener = std::move(listener);
    return true;
  }
  // The message boxes, and naming who holds the port, run off the UI thread.
  try {
    capture.starter = std::thread([&capture, result] {
      if (result == MobileCallListener::StartResult::kNoSocket) {
        // Not a conflict: the started flag stays set, as after any start-up failure.
        platform::ShowMessageBox(nullptr, "创建UDP套接字失败", "", platform::MB_OK);
        return;
      }
      ReportPortConflict();
      capture.listener_started = false;
    });
  } catch (const std::system_error&) {
    env::WriteProgramLog("接收手机来电线程启动失败");
    if (result == MobileCallListener::StartResult::kPortTaken) capture.listener_started = false;
  }
  return false;
}

void OnMobileCaptureOff() { Capture().delivery_enabled = false; }

void ShutdownMobileCapture() {
  MobileCapture& capture = Capture();
  std::thread starter;
  {
    std::lock_guard<std::mutex> lock(capture.mutex);
    starter = std::move(capture.starter);
  }
  if (starter.joinable()) starter.join();
  std::lock_guard<std::mutex> lock(capture.mutex);
  capture.listener.reset();
  capture.listener_started = false;
  capture.start_failed = false;
}

}  // namespace telephony
