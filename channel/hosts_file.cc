#include "channel/hosts_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "channel/host_names.h"
#include "env/logs.h"
#include "platform/process.h"

namespace channel {

namespace {

bool WriteAllTo(int fd, const std::string& data) {
  size_t offset = 0;
  while (offset < data.size()) {
    const ssize_t written = write(fd, data.data() + offset, data.size() - offset);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    offset += static_cast<size_t>(written);
  }
  return true;
}

// Rewrites the file itself: only for a file that cannot be replaced.
bool RewriteInPlace(const std::string& path, const std::string& content, const std::string& previous) {
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    env::WriteProgramLog("write open fail 1");
    return false;
  }
  const bool ok = WriteAllTo(fd, content) && fsync(fd) == 0;
  if (!ok) {
    env::WriteProgramLog("part data write fail 1");
    // Put the old content back rather than leave half a file.
    if (ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0) WriteAllTo(fd, previous);
  }
  close(fd);
  return ok;
}

}  // namespace

std::string PinnedHostsLine(const std::string& address, const std::string& domain) {
  if (!IsDottedIPv4(address) || !IsPinnableDomain(domain)) {
    env::WriteProgramLog("pinned line refused");
    return std::string();
  }
  return address + " " + domain + " " + kPinMarker + "\n";
}

bool IsPinnedHostsLine(const std::string& line) {
  const std::string suffix = std::string(" ") + kPinMarker + "\n";
  if (line.size() <= suffix.size() || line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0)
    return false;
  const std::string pin = line.substr(0, line.size() - suffix.size());
  const size_t blank = pin.find(' ');
  return blank != std::string::npos && IsDottedIPv4(pin.substr(0, blank)) && IsPinnableDomain(pin.substr(blank + 1));
}

namespace {

// Calls |visit| with each line of |text|, its line end included; a last
// line without one comes as it is.
template <typename Visit>
void ForEachLine(const std::string& text, Visit visit) {
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    const size_t next = end == std::string::npos ? text.size() : end + 1;
    visit(text.substr(start, next - start));
    start = next;
  }
}

}  // namespace

HostsLines SplitHostsLines(const std::string& text, const std::vector<std::string>& pinned_domains) {
  HostsLines lines;
  ForEachLine(text, [&](std::string line) {
    if (line.back() != '\n') line += '\n';
    if (IsPinnedHostsLine(line)) return;
    bool mentions = false;
    for (const std::string& domain : pinned_domains)
      mentions |= !domain.empty() && line.find(domain) != std::string::npos;
    (mentions ? lines.taken_out : lines.kept).push_back(std::move(line));
  });
  while (!lines.kept.empty() && lines.kept.back() == "\n") lines.kept.pop_back();
  return lines;
}

std::string WithoutPinnedLines(const std::string& text) {
  std::string out;
  ForEachLine(text, [&](const std::string& line) {
    if (!IsPinnedHostsLine(line)) out += line;
  });
  return out;
}

bool ReadHostsFile(const std::string& path, std::string& text) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    env::WriteProgramLog("open file fail 1");
    return false;
  }
  text.clear();
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      env::WriteProgramLog("read file error 1");
      close(fd);
      return false;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

bool WriteHostsFile(const std::string& path, const std::string& content) {
  std::string previous;
  if (!ReadHostsFile(path, previous)) return false;
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    env::WriteProgramLog("write open fail 1");
    return false;
  }
  const size_t slash = path.rfind('/');
  std::string temp = (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/.hosts-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd >= 0) {
    bool written = WriteAllTo(fd, content) && fchmod(fd, status.st_mode & 07777) == 0 && fsync(fd) == 0;
    // Only root can hand the file to its owner; a file that would change
    // hands goes the in-place way instead.
    if (written && (status.st_uid != geteuid() || status.st_gid != getegid()))
      written = fchown(fd, status.st_uid, status.st_gid) == 0;
    close(fd);
    if (written && rename(temp.c_str(), path.c_str()) == 0) return true;
    unlink(temp.c_str());
  }
  // A bind-mounted file cannot be renamed over (EBUSY), nor can a file in
  // a folder we may not write to: rewrite it in place.
  return RewriteInPlace(path, content, previous);
}

void FlushDns() {
  if (!platform::FindProgramInPath("resolvectl").empty())
    platform::StartHiddenCommand({"resolvectl", "flush-caches"});
  else if (!platform::FindProgramInPath("nscd").empty())
    platform::StartHiddenCommand({"nscd", "-i", "hosts"});
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

}  // namespace channel
