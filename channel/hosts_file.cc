#include "channel/hosts_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
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

// Every file of ours beside the hosts file starts with this.
constexpr char kSiblingPrefix[] = ".veltrocrm-hosts-";
constexpr char kRestorePointHeader[] = "VeltroCRM hosts restore point\n";

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string JournalOf(const std::string& path) { return FolderOf(path) + "/" + kJournalFileName; }
std::string RestorePointOf(const std::string& path) { return FolderOf(path) + "/" + kRestorePointFileName; }

// Reads a file this program wrote: a regular file of its own user, not a
// link. False when absent; logged when present but not trusted.
bool ReadOwnFile(const std::string& path, std::string& content) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) env::WriteProgramLog("file of ours ignored: " + path);
    return false;
  }
  struct stat status;
  const bool ours = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == geteuid();
  close(fd);
  if (!ours || !ReadHostsFile(path, content)) {
    env::WriteProgramLog("file of ours ignored: " + path);
    return false;
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// A new file beside the hosts file holding |content|, synced, with the
// hosts file's mode and owner; its path, or empty.
std::string WriteSibling(const std::string& folder, const std::string& content, const struct stat& status) {
  std::string temp = folder + "/" + kSiblingPrefix + "XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return std::string();
  bool written = WriteAllTo(fd, content) && fchmod(fd, status.st_mode & 07777) == 0;
  // Only root can hand the file to its owner; a file that would change
  // hands goes the in-place way instead.
  if (written && (status.st_uid != geteuid() || status.st_gid != getegid()))
    written = fchown(fd, status.st_uid, status.st_gid) == 0;
  written = written && fsync(fd) == 0;
  close(fd);
  if (written) return temp;
  unlink(temp.c_str());
  return std::string();
}

// Removes the temporary files a crash left beside the hosts file.
void RemoveLeftoverSiblings(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  const std::string prefix = kSiblingPrefix;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0 || name == kJournalFileName || name == kRestorePointFileName) continue;
    struct stat status;
    if (fstatat(dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode) &&
        status.st_uid == geteuid() && unlinkat(dirfd(dir), entry->d_name, 0) == 0)
      env::WriteProgramLog("leftover temporary file removed: " + name);
  }
  closedir(dir);
}

}  // namespace

std::string PinnedHostsLine(const std::string& address, const std::string& domain) {
  if (!IsDottedIPv4(address) || !IsPinnableDomain(domain)) {
    env::WriteProgramLog("pinned line refused");
    return std::string();
  }
  return address + " " + domain + " " + kPinMarker + "\n";
}

namespace {

// The domain of one of our pinned lines; empty for any other line.
std::string PinnedDomainOf(const std::string& line) {
  const std::string suffix = std::string(" ") + kPinMarker + "\n";
  if (line.size() <= suffix.size() || line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0)
    return std::string();
  const std::string pin = line.substr(0, line.size() - suffix.size());
  const size_t blank = pin.find(' ');
  if (blank == std::string::npos || !IsDottedIPv4(pin.substr(0, blank))) return std::string();
  const std::string domain = pin.substr(blank + 1);
  return IsPinnableDomain(domain) ? domain : std::string();
}

}  // namespace

bool IsPinnedHostsLine(const std::string& line) { return !PinnedDomainOf(line).empty(); }

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

namespace {

// Whether the hosts line |line| gives |domain| an address: one of the names
// after its address, before any comment.
bool NamesHost(const std::string& line, const std::string& domain) {
  const std::string entry = line.substr(0, line.find('#'));
  const char* const kBlanks = " \t\r\n";
  size_t start = entry.find_first_not_of(kBlanks);
  bool address = true;
  while (start != std::string::npos) {
    const size_t end = std::min(entry.find_first_of(kBlanks, start), entry.size());
    if (!address && SameHostName(entry.substr(start, end - start), domain)) return true;
    address = false;
    start = entry.find_first_not_of(kBlanks, end);
  }
  return false;
}

}  // namespace

HostsLines SplitHostsLines(const std::string& text, const std::vector<std::string>& pinned_domains) {
  HostsLines lines;
  ForEachLine(text, [&](std::string line) {
    if (line.back() != '\n') line += '\n';
    if (IsPinnedHostsLine(line)) return;
    bool mentions = false;
    for (const std::string& domain : pinned_domains) mentions |= !domain.empty() && NamesHost(line, domain);
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
  const std::string folder = FolderOf(path);
  const std::string sibling = WriteSibling(folder, content, status);
  bool journal = false;
  if (!sibling.empty()) {
    if (rename(sibling.c_str(), path.c_str()) == 0) {
      SyncFolder(folder);
      return true;
    }
    // A bind-mounted file cannot be renamed over (EBUSY): it is rewritten
    // in place, and the complete new content waits in the journal first,
    // so that a rewrite cut short is finished at the next start.
    journal = rename(sibling.c_str(), JournalOf(path).c_str()) == 0;
    if (journal)
      SyncFolder(folder);
    else
      unlink(sibling.c_str());
  }
  const bool written = RewriteInPlace(path, content, previous);
  if (journal) {
    unlink(JournalOf(path).c_str());
    SyncFolder(folder);
  }
  return written;
}

bool RecoverHostsFile(const std::string& path) {
  RemoveLeftoverSiblings(FolderOf(path));
  const std::string journal = JournalOf(path);
  std::string content;
  if (!ReadOwnFile(journal, content)) return false;
  env::WriteProgramLog("hosts file rewrite finished from its journal");
  const bool written = WriteHostsFile(path, content);
  if (written) unlink(journal.c_str());
  return written;
}

std::string RestoredHostsText(const std::string& current, const std::string& original, const std::string& written) {
  // Nobody else changed the file since: it goes back to what it was.
  if (current == written) return WithoutPinnedLines(original);
  // Someone else's changes stay; ours go and the user's lines come back.
  std::vector<std::string> pinned;
  ForEachLine(written, [&](const std::string& line) {
    if (std::string domain = PinnedDomainOf(line); !domain.empty()) pinned.push_back(std::move(domain));
  });
  std::string content = WithoutPinnedLines(current);
  if (!content.empty() && content.back() != '\n') content += '\n';
  for (const std::string& line : SplitHostsLines(original, pinned).taken_out)
    if (content.find(line) == std::string::npos) content += line;
  return content;
}

bool SaveRestorePoint(const std::string& path, const std::string& original, const std::string& written) {
  const std::string folder = FolderOf(path);
  struct stat status {};
  status.st_mode = 0600;
  status.st_uid = geteuid();
  status.st_gid = getegid();
  const std::string record = kRestorePointHeader + std::to_string(original.size()) + "\n" + original + written;
  const std::string sibling = WriteSibling(folder, record, status);
  if (!sibling.empty() && rename(sibling.c_str(), RestorePointOf(path).c_str()) == 0) {
    SyncFolder(folder);
    return true;
  }
  if (!sibling.empty()) unlink(sibling.c_str());
  env::WriteProgramLog("hosts restore point not saved");
  return false;
}

bool LoadRestorePoint(const std::string& path, std::string& original, std::string& written) {
  std::string record;
  if (!ReadOwnFile(RestorePointOf(path), record)) return false;
  const std::string header = kRestorePointHeader;
  const size_t newline = record.find('\n', header.size());
  size_t size = 0;
  const bool ok = record.compare(0, header.size(), header) == 0 && newline != std::string::npos &&
                  std::sscanf(record.c_str() + header.size(), "%zu", &size) == 1 && size <= record.size() - newline - 1;
  if (!ok) {
    env::WriteProgramLog("hosts restore point unreadable");
    return false;
  }
  original = record.substr(newline + 1, size);
  written = record.substr(newline + 1 + size);
  return true;
}

void DropRestorePoint(const std::string& path) {
  unlink(RestorePointOf(path).c_str());
  SyncFolder(FolderOf(path));
}

void FlushDns() {
  if (!platform::FindProgramInPath("resolvectl").empty())
    platform::StartHiddenCommand({"resolvectl", "flush-caches"});
  else if (!platform::FindProgramInPath("nscd").empty())
    platform::StartHiddenCommand({"nscd", "-i", "hosts"});
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

}  // namespace channel
