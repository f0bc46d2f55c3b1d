#include "app/support_bundle.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/desk_policy.h"
#include "build_config.h"
#include "channel/proxy_rule.h"
#include "engine/engine.h"
#include "env/log_reader.h"
#include "env/logs.h"
#include "env/paths.h"
#include "env/product.h"
#include "platform/desktop_proxy.h"
#include "platform/display_server.h"
#include "platform/known_folders.h"

namespace app {

namespace {

constexpr int kMonitorsWaitMs = 10000;
constexpr size_t kMaxMonitorsText = 64 * 1024;

// A gzip-compressed tar archive, written entry by entry.
class TarGz {
 public:
  explicit TarGz(int fd) : file_(gzdopen(fd, "wb9")) {}
  ~TarGz() {
    if (file_) gzclose(file_);
  }
  bool ok() const { return file_ && ok_; }
  // Ends the archive; false when anything could not be written.
  bool Close() {
    if (!file_) return false;
    const char zeros[1024] = {};
    Write(zeros, sizeof(zeros));
    ok_ = gzclose(file_) == Z_OK && ok_;
    file_ = nullptr;
    return ok_;
  }
  void Add(const std::string& name, const std::string& text) {
    Header(name, text.size());
    Write(text.data(), text.size());
    Pad(text.size());
  }
  // The whole of |stream| from its start.
  void Add(const std::string& name, std::FILE* stream) {
    std::fflush(stream);
    const long size = std::ftell(stream);
    if (size <= 0) return;
    std::rewind(stream);
    Header(name, static_cast<size_t>(size));
    char buffer[65536];
    size_t left = static_cast<size_t>(size);
    while (left > 0) {
      const size_t got = std::fread(buffer, 1, std::min(left, sizeof(buffer)), stream);
      if (got == 0) break;
      Write(buffer, got);
      left -= got;
    }
    // A stream cut short still fills its entry: the archive stays whole.
    const std::string filler(left, '\n');
    Write(filler.data(), filler.size());
    Pad(static_cast<size_t>(size));
  }

 private:
  void Write(const char* data, size_t size) {
    if (size > 0 && ok_ && gzwrite(file_, data, static_cast<unsigned>(size)) != static_cast<int>(size)) ok_ = false;
  }
  void Pad(size_t size) {
    const char zeros[512] = {};
    Write(zeros, (512 - size % 512) % 512);
  }
  // |width| - 1 octal digits and a NUL, the field's form.
  static void Octal(char* field, size_t width, unsigned long long value) {
    field[width - 1] = '\0';
    for (size_t i = width - 1; i-- > 0; value >>= 3) field[i] = static_cast<char>('0' + (value & 7));
  }
  void Header(const std::string& name, size_t size) {
    char header[512] = {};
    std::snprintf(header, 100, "%s", name.c_str());
    Octal(header + 100, 8, 0600);
    Octal(header + 108, 8, 0);
    Octal(header + 116, 8, 0);
    Octal(header + 124, 12, size);
    Octal(header + 136, 12, static_cast<unsigned long long>(std::time(nullptr)));
    header[156] = '0';
    std::memcpy(header + 257, "ustar", 6);
    std::memcpy(header + 263, "00", 2);
    std::memset(header + 148, ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : header) sum += c;
    Octal(header + 148, 7, sum);
    Write(header, sizeof(header));
  }

  gzFile file_;
  bool ok_ = true;
};

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return std::string(name) + "=" + (value ? value : "(unset)") + "\n";
}

std::string FirstLineOf(const std::string& path, const std::string& prefix) {
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);)
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
  return "(unknown)";
}

std::string VersionText() {
  std::ostringstream text;
  text << env::PRODUCT_NAME << " " << env::PRODUCT_VERSION << "\n"
       << engine::EngineVersion() << "\nsystem: " << FirstLineOf("/etc/os-release", "PRETTY_NAME=") << "\n";
  return text.str();
}

std::string SettingsText(const engine::CommandLine& command_line) {
  std::ostringstream text;
  std::vector<std::string> lines;
  bool in_force = false;
  engine::CommandLine effective = command_line;
  const std::vector<Setting> settings = ApplyPolicyFile(VELTRO_POLICY_FILE, effective, lines, in_force);
  text << "policy file: " << VELTRO_POLICY_FILE << (in_force ? " (in force)" : " (none)") << "\n";
  for (const std::string& line : lines) text << line << "\n";
  for (const Setting& setting : settings)
    text << setting.name << ": " << env::AddressForLog(setting.value) << " (from " << setting.origin << ")\n";
  text << channel::DescribeProxyRule(channel::ChooseProxyRule(effective, platform::ReadDesktopProxy())) << "\n";
  return text.str();
}

// Names of the input-method daemons that run for this user.
std::string InputMethodDaemons() {
  std::string found;
  DIR* proc = opendir("/proc");
  if (!proc) return found;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const std::string folder = std::string("/proc/") + entry->d_name;
    struct stat status {};
    if (stat(folder.c_str(), &status) != 0 || status.st_uid != getuid()) continue;
    std::string name;
    std::getline(std::ifstream(folder + "/comm"), name);
    if ((name == "fcitx5" || name == "fcitx" || name == "ibus-daemon") && found.find(name) == std::string::npos)
      found += (found.empty() ? "" : ", ") + name;
  }
  closedir(proc);
  return found.empty() ? "(none)" : found;
}

std::string MonitorsOnThisDisplay() {
  static int argc = 1;
  static char name[] = "veltrocrm";
  static char* argv[] = {name, nullptr};
  QGuiApplication application(argc, argv);
  std::string text = "Qt platform: " + QGuiApplication::platformName().toStdString() + "\n";
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect g = screen->geometry();
    std::ostringstream line;
    line << "monitor " << screen->name().toStdString() << ": " << g.width() << "x" << g.height() << "+" << g.x()
         << "+" << g.y() << ", scale " << screen->devicePixelRatio() << ", " << screen->logicalDotsPerInch()
         << " dpi" << (screen == QGuiApplication::primaryScreen() ? ", primary" : "") << "\n";
    text += line.str();
  }
  return text;
}

// Qt ends a process whose display does not answer: the monitors are read
// by a child, and a display that is gone costs only that line.
std::string MonitorsText() {
  const platform::DisplayChoice display = platform::ApplyDisplayChoice();
  if (!display.usable) return "monitors: none reachable (" + display.note + ")\n";
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return "monitors: not read\n";
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_fds[0]);
    const std::string text = MonitorsOnThisDisplay();
    [[maybe_unused]] const ssize_t written = write(pipe_fds[1], text.data(), text.size());
    _exit(0);
  }
  close(pipe_fds[1]);
  std::string text;
  char buffer[4096];
  for (;;) {
    pollfd wait_for{pipe_fds[0], POLLIN, 0};
    if (poll(&wait_for, 1, kMonitorsWaitMs) <= 0) break;
    const ssize_t got = read(pipe_fds[0], buffer, sizeof(buffer));
    if (got <= 0 || text.size() > kMaxMonitorsText) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  close(pipe_fds[0]);
  if (child > 0) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
  platform::ForgetDisplayChoice(display);
  return text.empty() ? "monitors: the display did not answer\n" : text;
}

std::string DesktopText() {
  std::string text = "display server:\n";
  for (const char* name : {"XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP", "WAYLAND_DISPLAY", "DISPLAY", "QT_QPA_PLATFORM"})
    text += "  " + Variable(name);
  text += "scale:\n";
  for (const char* name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING", "GDK_SCALE"})
    text += "  " + Variable(name);
  text += "input method:\n";
  for (const char* name : {"QT_IM_MODULE", "GTK_IM_MODULE", "XMODIFIERS"}) text += "  " + Variable(name);
  text += "  running: " + InputMethodDaemons() + "\n";
  text += "language:\n";
  for (const char* name : {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"}) text += "  " + Variable(name);
  return text + MonitorsText();
}

std::string Day(int days_ago) {
  const std::time_t when = std::time(nullptr) - static_cast<std::time_t>(days_ago) * 24 * 3600;
  std::tm local{};
  localtime_r(&when, &local);
  char text[16];
  std::strftime(text, sizeof(text), "%Y-%m-%d", &local);
  return text;
}

// The stream again, with every caller's number masked.
void MaskNumbersInStream(std::unique_ptr<std::FILE, int (*)(std::FILE*)>& text) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> masked(std::tmpfile(), std::fclose);
  if (!masked) {
    text.reset();
    return;
  }
  std::fflush(text.get());
  std::rewind(text.get());
  char* line = nullptr;
  size_t capacity = 0;
  for (ssize_t got; (got = getline(&line, &capacity, text.get())) > 0;) {
    const std::string shown = MaskCallerNumbers(std::string(line, static_cast<size_t>(got)));
    std::fwrite(shown.data(), 1, shown.size(), masked.get());
  }
  std::free(line);
  text = std::move(masked);
}

}  // namespace

std::string DefaultSupportBundlePath() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char name[64];
  std::strftime(name, sizeof(name), "veltrocrm-support-%Y%m%d-%H%M%S.tar.gz", &local);
  const char* home = std::getenv("HOME");
  return (home && *home ? std::string(home) : std::string(".")) + "/" + name;
}

std::string MaskCallerNumbers(const std::string& text) {
  std::string masked = text;
  size_t start = 0;
  while ((start = masked.find_first_of("0123456789", start)) != std::string::npos) {
    const size_t end = std::min(masked.find_first_not_of("0123456789", start), masked.size());
    // Seven digits or more may be somebody's telephone number.
    if (end - start >= 7)
      for (size_t i = start + 3; i < end - 4; ++i) masked[i] = '*';
    start = end;
  }
  return masked;
}

int WriteSupportBundle(const std::string& path, const engine::CommandLine& command_line, int days,
                       std::string& problem) {
  // The logs hold callers' numbers: the user's eyes only.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    problem = path + ": " + (errno == EEXIST ? std::string("exists already") : std::strerror(errno));
    return 1;
  }
  TarGz archive(fd);
  if (!archive.ok()) {
    unlink(path.c_str());
    problem = path + ": cannot be written";
    return 1;
  }
  const std::string folder = "veltrocrm-support/";
  archive.Add(folder + "version.txt", VersionText());
  archive.Add(folder + "settings.txt", SettingsText(command_line));
  archive.Add(folder + "desktop.txt", DesktopText());
  for (int days_ago = 0; days_ago < days; ++days_ago) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> text(std::tmpfile(), std::fclose);
    if (!text) break;
    env::LogReaderOptions options;
    options.day = Day(days_ago);
    env::PrintLogs(options, text.get());
    if (!command_line.HasSwitch("with-caller-numbers")) MaskNumbersInStream(text);
    if (text) archive.Add(folder + "logs/" + options.day + ".txt", text.get());
  }
  if (!archive.Close()) {
    problem = path + ": not all of it could be written";
    unlink(path.c_str());
    return 1;
  }
  return 0;
}

}  // namespace app
