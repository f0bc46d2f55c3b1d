#include "channel/hosts_pinning.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "channel/host_names.h"
#include "channel/hosts_file.h"
#include "env/firewall.h"
#include "env/logs.h"
#include "platform/process.h"

namespace channel {

namespace {

// A helper waiting on a password dialog nobody answers must not hold the
// exit for ever.
constexpr auto kHelperWait = std::chrono::seconds(60);
// Far more than any channel list has; bounds a hostile command line.
constexpr size_t kMostPinnedHosts = 1024;

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
// The lock is on the folder, which outlives every rewrite of the file.
class FolderLock {
 public:
  explicit FolderLock(const std::string& path)
      : fd_(open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ >= 0) flock(fd_, LOCK_EX);
  }
  ~FolderLock() {
    if (fd_ >= 0) close(fd_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  const int fd_;
};

}  // namespace

bool LocalHostsEditor::Pin(const std::vector<PinnedHost>& hosts) {
  std::string content_lines;
  std::vector<std::string> domains;
  for (const PinnedHost& host : hosts) {
    const std::string line = PinnedHostsLine(host.address, host.domain);
    if (line.empty()) return false;
    content_lines += line;
    domains.push_back(host.domain);
  }
  FolderLock lock(hosts_path_);
  RecoverHostsFile(hosts_path_);
  std::string text;
  if (!ReadHostsFile(hosts_path_, text)) return false;
  std::string original, written;
  // A second pin in the same run keeps the file as it was before the first.
  if (!LoadRestorePoint(hosts_path_, original, written)) original = WithoutPinnedLines(text);
  std::string content;
  for (const std::string& line : SplitHostsLines(text, domains).kept) content += line;
  content += content_lines;
  // Saved first: a crash from here on is put right at the next start.
  SaveRestorePoint(hosts_path_, original, content);
  if (!WriteHostsFile(hosts_path_, content)) return false;
  FlushDns();
  return true;
}

bool LocalHostsEditor::Unpin() {
  FolderLock lock(hosts_path_);
  RecoverHostsFile(hosts_path_);
  std::string text;
  if (!ReadHostsFile(hosts_path_, text)) return false;
  std::string original, written;
  const bool saved = LoadRestorePoint(hosts_path_, original, written);
  const std::string clean = saved ? RestoredHostsText(text, original, written) : WithoutPinnedLines(text);
  if (clean != text) {
    env::WriteProgramLog(saved ? "hosts file put back" : "stale pinned lines removed");
    if (!WriteHostsFile(hosts_path_, clean)) return false;
    FlushDns();
  }
  if (saved) DropRestorePoint(hosts_path_);
  return true;
}

bool HostsFileNeedsCleaning(const std::string& hosts_path) {
  const std::string folder = FolderOf(hosts_path);
  if (Exists(folder + "/" + kRestorePointFileName) || Exists(folder + "/" + kJournalFileName)) return true;
  std::string text;
  return ReadHostsFile(hosts_path, text) && WithoutPinnedLines(text) != text;
}

bool HelperHostsEditor::RunHelper(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{helper_path_};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  argv = platform::AsRoot(argv);
  if (argv.empty()) {
    env::WriteProgramLog("hosts file unchanged: pkexec is missing");
    return false;
  }
  std::string errors;
  const int status = platform::RunCommand(argv, kHelperWait, errors);
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
  std::vector<std::string> arguments{"pin"};
  for (const PinnedHost& host : hosts) {
    arguments.push_back(host.address);
    arguments.push_back(host.domain);
  }
  return RunHelper(arguments);
}

bool HelperHostsEditor::Unpin() {
  if (!HostsFileNeedsCleaning(hosts_path_)) return true;
  return RunHelper({"unpin"});
}

int RunHostsHelper(const std::string& hosts_path, const std::vector<std::string>& arguments) {
  const std::string command = arguments.empty() ? std::string() : arguments[0];
  LocalHostsEditor editor(hosts_path);
  if (command == "unpin" && arguments.size() == 1) return editor.Unpin() ? 0 : 1;
  if (command == "allow-call-port" && arguments.size() == 1) {
    for (const std::vector<std::string>& firewall : env::FirewallCommands()) platform::StartHiddenCommand(firewall);
    return 0;
  }
  if (command == "pin" && arguments.size() % 2 == 1 && arguments.size() > 1 &&
      arguments.size() <= 1 + 2 * kMostPinnedHosts) {
    std::vector<PinnedHost> hosts;
    for (size_t i = 1; i + 1 < arguments.size(); i += 2) {
      if (!IsDottedIPv4(arguments[i]) || !IsPinnableDomain(arguments[i + 1])) {
        env::WriteProgramLog("refused: not an address and a domain: " + env::PrintableForLog(arguments[i]) + " " +
                             env::PrintableForLog(arguments[i + 1]));
        return 2;
      }
      hosts.push_back({arguments[i], arguments[i + 1]});
    }
    return editor.Pin(hosts) ? 0 : 1;
  }
  env::WriteProgramLog("refused: unknown command: " + env::PrintableForLog(command));
  return 2;
}

}  // namespace channel
