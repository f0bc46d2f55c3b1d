#include "channel/hosts_pinning.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "channel/host_names.h"
#include "channel/dns_cache.h"
#include "channel/hosts_file.h"
#include "channel/hosts_text.h"
#include "env/firewall.h"
#include "env/logs.h"
#include "platform/process.h"

namespace channel {

namespace {

// A helper waiting on a password dialog nobody answers must not hold the
// selection for ever.
constexpr auto kHelperWait = std::chrono::seconds(60);
// Another helper's change takes well under a second; one that takes longer
// than this is stuck, and this one gives up rather than hang too.
constexpr auto kPinLockWait = std::chrono::seconds(10);
// Far more than any channel list has; bounds a hostile command line.
constexpr size_t kMostPinnedHosts = 1024;
// Far more than any installation lists; bounds a damaged file.
constexpr size_t kMostSuffixBytes = 64 * 1024;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool Exists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

// One change of the hosts file at a time, across processes: a helper left
// running by a client that was killed finishes before the next one starts.
// The lock file is this user's own and no one else may open it, so no
// other user can hold a change up.
class ChangeLock {
 public:
  ChangeLock(const std::string& path, std::chrono::milliseconds wait)
      : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)) {
    struct stat status;
    if (fd_ < 0 || fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid() ||
        (status.st_mode & 077) != 0) {
      env::WriteProgramLog("hosts file unchanged: lock refused: " + env::PrintableForLog(path));
      return;
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!(held_ = flock(fd_, LOCK_EX | LOCK_NB) == 0) && errno == EWOULDBLOCK &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!held_) env::WriteProgramLog("hosts file unchanged: another change did not end");
  }
  ~ChangeLock() {
    if (fd_ >= 0) close(fd_);
  }
  ChangeLock(const ChangeLock&) = delete;
  ChangeLock& operator=(const ChangeLock&) = delete;
  bool held() const { return held_; }

 private:
  const int fd_;
  bool held_ = false;
};

}  // namespace

HostsFiles SystemHostsFiles() {
  return {"/etc/hosts", "/etc/veltrocrm/pinnable-domains", "/run/veltrocrm-hosts.lock"};
}

std::vector<std::string> LoadPinnableSuffixes(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    env::WriteProgramLog("no pinnable domains: " + env::PrintableForLog(path) + " cannot be read");
    return {};
  }
  struct stat status;
  const bool trusted = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
                       (status.st_uid == 0 || status.st_uid == geteuid()) && (status.st_mode & 022) == 0;
  std::string text;
  char buffer[4096];
  ssize_t got = 0;
  while (trusted && text.size() < kMostSuffixBytes && (got = read(fd, buffer, sizeof(buffer))) > 0)
    text.append(buffer, static_cast<size_t>(got));
  close(fd);
  if (!trusted || got < 0) {
    env::WriteProgramLog("no pinnable domains: " + env::PrintableForLog(path) + " is not trusted");
    return {};
  }
  std::vector<std::string> suffixes;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    line = line.substr(0, line.find('#'));
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
    // A single label is allowed: the file is root's to write.
    if (IsPinnableDomain(line) || IsPinnableDomain(line + ".x"))
      suffixes.push_back(line);
    else
      env::WriteProgramLog("pinnable domain ignored: " + env::PrintableForLog(line));
  }
  return suffixes;
}

bool HostsEditor::MayPin(const std::vector<PinnedHost>& hosts) const {
  const std::vector<std::string> suffixes = LoadPinnableSuffixes(files_.pinnable_domains);
  const std::vector<std::string> ranges = BuildServiceRanges();
  for (const PinnedHost& host : hosts) {
    const std::string pair = env::PrintableForLog(host.address) + " " + env::PrintableForLog(host.domain);
    if (!IsDottedIPv4(host.address) || !IsPinnableDomain(host.domain)) {
      env::WriteProgramLog("refused: not an address and a domain: " + pair);
      return false;
    }
    if (!IsUnderSuffix(host.domain, suffixes)) {
      env::WriteProgramLog("refused: not a domain of the service: " + pair);
      return false;
    }
    if (!IsServiceAddress(host.address, ranges)) {
      env::WriteProgramLog("refused: not an address a service can have: " + pair);
      return false;
    }
  }
  return true;
}

bool LocalHostsEditor::Pin(const std::vector<PinnedHost>& hosts) {
  if (!MayPin(hosts)) return false;
  std::string content_lines;
  std::vector<std::string> domains;
  for (const PinnedHost& host : hosts) {
    content_lines += PinnedHostsLine(host.address, host.domain);
    domains.push_back(host.domain);
  }
  ChangeLock lock(files_.lock, kPinLockWait);
  if (!lock.held()) return false;
  const std::string& hosts_path = files_.hosts;
  RecoverHostsFile(hosts_path);
  std::string text;
  if (!ReadHostsFile(hosts_path, text)) return false;
  std::string original, written;
  // A second pin in the same run keeps the file as it was before the first.
  if (!LoadRestorePoint(hosts_path, original, written)) original = WithoutPinnedLines(text);
  std::string content;
  for (const std::string& line : SplitHostsLines(text, domains).kept) content += line;
  content += content_lines;
  // Saved first: a crash from here on is put right at the next start.
  SaveRestorePoint(hosts_path, original, content);
  if (!WriteHostsFile(hosts_path, content)) return false;
  FlushDns();
  return true;
}

bool LocalHostsEditor::Unpin(std::chrono::milliseconds wait) {
  ChangeLock lock(files_.lock, wait);
  if (!lock.held()) return false;
  const std::string& hosts_path = files_.hosts;
  RecoverHostsFile(hosts_path);
  std::string text;
  if (!ReadHostsFile(hosts_path, text)) return false;
  std::string original, written;
  const bool saved = LoadRestorePoint(hosts_path, original, written);
  const std::string clean = saved ? RestoredHostsText(text, original, written) : WithoutPinnedLines(text);
  if (clean != text) {
    env::WriteProgramLog(saved ? "hosts file put back" : "stale pinned lines removed");
    if (!WriteHostsFile(hosts_path, clean)) return false;
    FlushDns();
  }
  if (saved) DropRestorePoint(hosts_path);
  return true;
}

bool HostsFileNeedsCleaning(const std::string& hosts_path) {
  const std::string folder = FolderOf(hosts_path);
  if (Exists(folder + "/" + kRestorePointFileName) || Exists(folder + "/" + kJournalFileName)) return true;
  std::string text;
  return ReadHostsFile(hosts_path, text) && WithoutPinnedLines(text) != text;
}

bool HelperHostsEditor::RunHelper(const std::vector<std::string>& arguments, std::chrono::milliseconds wait) {
  std::vector<std::string> argv{helper_path_};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  argv = platform::AsRoot(argv);
  if (argv.empty()) {
    env::WriteProgramLog("hosts file unchanged: pkexec is missing");
    return false;
  }
  std::string errors;
  const int status = platform::RunCommand(argv, wait, errors);
  // The helper's own lines, each marked as its and made safe.
  size_t start = 0;
  while (start < errors.size()) {
    size_t end = errors.find('\n', start);
    if (end == std::string::npos) end = errors.size();
    if (end > start) env::WriteProgramLog("hosts helper: " + env::PrintableForLog(errors.substr(start, end - start)));
    start = end + 1;
  }
  if (status != 0) env::WriteProgramLog("hosts helper failed (" + std::to_string(status) + ")");
  return status == 0;
}

bool HelperHostsEditor::Pin(const std::vector<PinnedHost>& hosts) {
  if (!MayPin(hosts)) return false;
  std::vector<std::string> arguments{"pin"};
  for (const PinnedHost& host : hosts) {
    arguments.push_back(host.address);
    arguments.push_back(host.domain);
  }
  return RunHelper(arguments, kHelperWait);
}

bool HelperHostsEditor::Unpin(std::chrono::milliseconds wait) {
  if (!HostsFileNeedsCleaning(files_.hosts)) return true;
  return RunHelper({"unpin"}, wait);
}

int RunHostsHelper(const HostsFiles& files, const std::vector<std::string>& arguments) {
  const std::string command = arguments.empty() ? std::string() : arguments[0];
  LocalHostsEditor editor(files);
  if (command == "unpin" && arguments.size() == 1) return editor.Unpin(kPinLockWait) ? 0 : 1;
  if (command == "allow-call-port" && arguments.size() == 1) {
    for (const std::vector<std::string>& firewall : env::FirewallCommands()) platform::StartHiddenCommand(firewall);
    return 0;
  }
  if (command == "pin" && arguments.size() % 2 == 1 && arguments.size() > 1 &&
      arguments.size() <= 1 + 2 * kMostPinnedHosts) {
    std::vector<PinnedHost> hosts;
    for (size_t i = 1; i + 1 < arguments.size(); i += 2) hosts.push_back({arguments[i], arguments[i + 1]});
    if (!editor.MayPin(hosts)) return 2;
    return editor.Pin(hosts) ? 0 : 1;
  }
  env::WriteProgramLog("refused: unknown command: " + env::PrintableForLog(command));
  return 2;
}

}  // namespace channel
