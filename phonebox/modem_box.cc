#include "phonebox/modem_box.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <fstream>
#include <iterator>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>

#include "phonebox/phonebox.h"

namespace phonebox {

namespace {

constexpr int kAnswerTimeoutMs = 2000;
// A modem answers within milliseconds; Open waits no longer for the search.
constexpr auto kSearchWait = std::chrono::milliseconds(40);
constexpr size_t kMaxLine = 512;
constexpr int kErrorNoDevice = 2;
constexpr int kErrorNoAnswer = 5;

// Raw 8N1 without flow control: text lines in both directions.
bool ConfigurePort(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return false;
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cflag &= ~CRTSCTS;
  cfsetispeed(&settings, B115200);
  cfsetospeed(&settings, B115200);
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

std::string Trimmed(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return std::string();
  return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

// Sends |command| and reads lines until OK or ERROR: true for OK.
bool Ask(int fd, const std::string& command) {
  const std::string line = command + "\r";
  if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return false;
  std::string pending;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    pollfd ready{fd, POLLIN, 0};
    if (left <= 0 || poll(&ready, 1, static_cast<int>(left)) != 1 || !(ready.revents & POLLIN)) return false;
    char buffer[128];
    const ssize_t got = read(fd, buffer, sizeof(buffer));
    if (got <= 0) return false;
    pending.append(buffer, got);
    for (size_t end; (end = pending.find_first_of("\r\n")) != std::string::npos;) {
      const std::string answer = Trimmed(pending.substr(0, end));
      pending.erase(0, end + 1);
      if (answer == "OK") return true;
      if (answer == "ERROR") return false;
    }
    if (pending.size() > kMaxLine) pending.clear();
  }
}

}  // namespace

namespace {

std::string FileLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return Trimmed(line);
}

std::string LinkName(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t length = readlink(path.c_str(), target, sizeof(target) - 1);
  if (length <= 0) return std::string();
  target[length] = '\0';
  const char* slash = std::strrchr(target, '/');
  return slash ? slash + 1 : target;
}

// USB serial drivers that only ever carry modems (cellular and data cards).
bool IsModemDriver(const std::string& driver) {
  static const char* const kModemDrivers[] = {"option", "qcserial", "sierra", "ipw", "hso", "moto_modem"};
  return std::any_of(std::begin(kModemDrivers), std::end(kModemDrivers),
                     [&](const char* name) { return driver == name; });
}

}  // namespace

bool IsModemTty(const std::string& sys_root, const std::string& name) {
  const std::string device = sys_root + "/class/tty/" + name + "/device";
  const std::string driver = LinkName(device + "/driver");
  if (driver == "cdc_acm") {
    // Communications class, abstract control model; protocols 1 to 6 are
    // the AT command sets. Protocol 0 is a plain serial port (boards, GPS).
    const std::string protocol = FileLine(device + "/bInterfaceProtocol");
    return FileLine(device + "/bInterfaceClass") == "02" && FileLine(device + "/bInterfaceSubClass") == "02" &&
           protocol >= "01" && protocol <= "06";
  }
  return IsModemDriver(driver);
}

bool IsTtyOpenElsewhere(const std::string& proc_root, const std::string& device) {
  struct stat wanted {};
  if (stat(device.c_str(), &wanted) != 0) return false;
  DIR* processes = opendir(proc_root.c_str());
  if (!processes) return false;
  bool held = false;
  const std::string self = std::to_string(getpid());
  while (const dirent* process = readdir(processes)) {
    if (held) break;
    if (!std::isdigit(static_cast<unsigned char>(process->d_name[0])) || process->d_name == self) continue;
    const std::string fds = proc_root + "/" + process->d_name + "/fd";
    DIR* folder = opendir(fds.c_str());
    if (!folder) continue;
    while (const dirent* fd = readdir(folder)) {
      struct stat seen {};
      if (fd->d_name[0] == '.' || stat((fds + "/" + fd->d_name).c_str(), &seen) != 0) continue;
      if (S_ISCHR(seen.st_mode) && seen.st_rdev == wanted.st_rdev) {
        held = true;
        break;
      }
    }
    closedir(folder);
  }
  closedir(processes);
  return held;
}

std::vector<std::string> CandidateModemDevices(const std::string& sys_root, const std::string& dev_root) {
  std::vector<std::string> devices;
  if (DIR* folder = opendir(dev_root.c_str())) {
    while (const dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if ((name.rfind("ttyACM", 0) == 0 || name.rfind("ttyUSB", 0) == 0) && IsModemTty(sys_root, name))
        devices.push_back(dev_root + "/" + name);
    }
    closedir(folder);
  }
  std::sort(devices.begin(), devices.end());
  return devices;
}

bool ModemBox::CallerIdOfLine(const std::string& line, std::string& number) {
  const std::string text = Trimmed(line);
  if (text.rfind("NMBR", 0) != 0) return false;
  const size_t equals = text.find('=');
  if (equals == std::string::npos || Trimmed(text.substr(4, equals - 4)) != "") return false;
  number = Trimmed(text.substr(equals + 1));
  if (number.size() >= PHONEBOX_TEXT_BYTES) number.resize(PHONEBOX_TEXT_BYTES - 1);
  return !number.empty();
}

// What a search of the ports found; shared with its thread.
struct ModemBox::Search {
  std::mutex mutex;
  std::condition_variable ended_signal;
  bool ended = false;
  bool abandoned = false;
  int fd = -1;
  bool caller_id = false;
  int error = kErrorNoDevice;
};

ModemBox::ModemBox(EventSink& sink, std::string device) : sink_(sink), device_(std::move(device)) {}

ModemBox::~ModemBox() {
  Close();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!search_) return;
  std::lock_guard<std::mutex> search_lock(search_->mutex);
  search_->abandoned = true;
  if (search_->fd >= 0) close(search_->fd);
  search_->fd = -1;
}

int ModemBox::OpenDevice(const std::string& device, int& error, bool& caller_id) {
  // Opening a port already toggles its lines: leave other programs' ports alone.
  if (IsTtyOpenElsewhere("/proc", device)) {
    error = EBUSY;
    return -1;
  }
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  // Nobody else opens the port while it is ours; one locked by another
  // program (flock, as serial tools do) is theirs.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = EBUSY;
    close(fd);
    return -1;
  }
  ioctl(fd, TIOCEXCL);
  tcflush(fd, TCIOFLUSH);
  if (!ConfigurePort(fd) || !Ask(fd, "AT") || !Ask(fd, "ATE0")) {
    error = kErrorNoAnswer;
    close(fd);
    return -1;
  }
  caller_id = Ask(fd, "AT+VCID=1") || Ask(fd, "AT#CID=1");
  return fd;
}

void ModemBox::StartSearchLocked() {
  auto search = std::make_shared<Search>();
  const std::vector<std::string> devices = device_.empty() ? CandidateModemDevices("/sys", "/dev") : std::vector{device_};
  try {
    // Detached on purpose: a port that keeps quiet holds it up to 2 s an
    // answer, which nobody should wait for; it touches only |search|, and
    // an abandoned search closes what it finds.
    std::thread([search, devices] {
      int error = kErrorNoDevice, fd = -1;
      bool caller_id = false;
      for (const std::string& device : devices)
        if ((fd = OpenDevice(device, error, caller_id)) >= 0) break;
      std::lock_guard<std::mutex> lock(search->mutex);
      if (search->abandoned && fd >= 0) close(fd);
      search->fd = search->abandoned ? -1 : fd;
      search->caller_id = caller_id;
      search->error = error;
      search->ended = true;
      search->ended_signal.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    search->ended = true;
  }
  search_ = std::move(search);
}

int ModemBox::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ >= 0 && !gone_) return 1;
  CloseLocked();
  if (!search_) StartSearchLocked();
  std::shared_ptr<Search> search = search_;
  int fd = -1;
  {
    std::unique_lock<std::mutex> search_lock(search->mutex);
    if (!search->ended_signal.wait_for(search_lock, kSearchWait, [&] { return search->ended; })) {
      last_error_ = PHONEBOX_ERROR_SEARCHING;
      return -1;
    }
    fd = search->fd;
    last_error_ = search->error;
    caller_id_ = search->caller_id;
  }
  search_.reset();
  if (fd < 0) return -1;
  if (pipe2(stop_pipe_, O_CLOEXEC) != 0) {
    last_error_ = errno;
    close(fd);
    return -1;
  }
  fd_ = fd;
  gone_ = false;
  reader_ = std::thread([this, fd, stop = stop_pipe_[0]] { Read(fd, stop); });
  return 1;
}

void ModemBox::Read(int fd, int stop) {
  std::string pending;
  for (;;) {
    pollfd ready[2] = {{fd, POLLIN, 0}, {stop, POLLIN, 0}};
    if (poll(ready, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready[1].revents) return;
    char buffer[256];
    const ssize_t got = (ready[0].revents & POLLIN) ? read(fd, buffer, sizeof(buffer)) : -1;
    if (got < 0 && (errno == EAGAIN || errno == EINTR) && !(ready[0].revents & (POLLHUP | POLLERR))) continue;
    if (got <= 0) break;
    pending.append(buffer, got);
    for (size_t end; (end = pending.find_first_of("\r\n")) != std::string::npos;) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      std::string number;
      if (CallerIdOfLine(line, number))
        sink_.Emit(0, PHONEBOX_EVENT_CALLER_ID, 0, 0, 0, number);
      else if (Trimmed(line) == "RING")
        sink_.Emit(0, PHONEBOX_EVENT_RING, 0, 0, 0, std::string());
    }
    // A line without an end is noise, not a reason to grow without bound.
    if (pending.size() > kMaxLine) pending.clear();
  }
  // The port went away: the modem was unplugged.
  gone_ = true;
  sink_.Emit(-1, PHONEBOX_EVENT_UNPLUGGED, 0, 0, 0, std::string());
}

void ModemBox::CloseLocked() {
  if (reader_.joinable()) {
    const char stop = 1;
    if (write(stop_pipe_[1], &stop, 1) != 1) std::fprintf(stderr, "phonebox: could not stop the modem reader\n");
    reader_.join();
  }
  for (int* fd : {&fd_, &stop_pipe_[0], &stop_pipe_[1]}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

void ModemBox::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  CloseLocked();
}

int ModemBox::Channels() {
  std::lock_guard<std::mutex> lock(mutex_);
  return fd_ >= 0 && !gone_ ? 1 : 0;
}

int ModemBox::Capabilities(int channel) {
  std::lock_guard<std::mutex> lock(mutex_);
  return channel == 0 && fd_ >= 0 && caller_id_ ? PHONEBOX_CAPABILITY_CALLER_ID : 0;
}

int ModemBox::LastError() {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_error_;
}

}  // namespace phonebox
