#include "channel/hosts_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "channel/hosts_text.h"
#include "env/logs.h"

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

// Rewrites the file itself: only for a file that cannot be replaced. The
// old bytes are overwritten, never truncated first, and a shorter content
// is followed by line ends until the file is cut to its size: the file is
// never empty, and in one write (a whole page, as a hosts file is) never
// holds a piece of a line. A failed write puts |previous| back the same way.
bool WriteOver(int fd, const std::string& content) {
  struct stat status;
  if (fstat(fd, &status) != 0) return false;
  std::string text = content;
  const size_t old_size = static_cast<size_t>(status.st_size);
  if (old_size > text.size()) text.append(old_size - text.size(), '\n');
  size_t offset = 0;
  while (offset < text.size()) {
    const ssize_t written = pwrite(fd, text.data() + offset, text.size() - offset, static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    offset += static_cast<size_t>(written);
  }
  return fsync(fd) == 0 && ftruncate(fd, static_cast<off_t>(content.size())) == 0 && fsync(fd) == 0;
}

// |put_back|: the write failed and |previous| is whole again.
bool RewriteInPlace(const std::string& path, const std::string& content, const std::string& previous, bool& put_back) {
  put_back = false;
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    env::WriteProgramLog("write open fail 1");
    put_back = true;
    return false;
  }
  const bool ok = WriteOver(fd, content);
  if (!ok) {
    env::WriteProgramLog("part data write fail 1");
    put_back = WriteOver(fd, previous);
    if (!put_back) env::WriteProgramLog("hosts file not put back: its journal finishes the rewrite next time");
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

// The file |path| names: itself, or the file its link leads to when that
// lies in a folder only root may change; empty (logged) otherwise. A link
// is written through, never replaced by a file.
std::string HostsFileTarget(const std::string& path) {
  struct stat link;
  if (lstat(path.c_str(), &link) != 0) {
    env::WriteProgramLog("open file fail 1");
    return std::string();
  }
  if (!S_ISLNK(link.st_mode)) return path;
  char resolved[PATH_MAX];
  struct stat folder;
  if (!realpath(path.c_str(), resolved) || stat(FolderOf(resolved).c_str(), &folder) != 0 ||
      folder.st_uid != geteuid() || (folder.st_mode & 022) != 0) {
    env::WriteProgramLog("hosts file unchanged: its link leads where others may change it");
    return std::string();
  }
  return resolved;
}

}  // namespace

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
  const std::string target = HostsFileTarget(path);
  if (target.empty()) return false;
  std::string previous;
  if (!ReadHostsFile(target, previous)) return false;
  struct stat status;
  if (stat(target.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
    env::WriteProgramLog("write open fail 1");
    return false;
  }
  const std::string folder = FolderOf(target);
  const std::string sibling = WriteSibling(folder, content, status);
  if (sibling.empty()) {
    // Never rewritten in place instead: what kept the copy from being
    // written (a full disk, a limit) would cut the file itself short.
    env::WriteProgramLog("hosts file unchanged: its new copy could not be written");
    return false;
  }
  if (rename(sibling.c_str(), target.c_str()) == 0) {
    SyncFolder(folder);
    return true;
  }
  if (errno != EBUSY) {
    env::WriteProgramLog("hosts file unchanged: its new copy could not take its place");
    unlink(sibling.c_str());
    return false;
  }
  // A mount point (a container's /etc/hosts) cannot be renamed over: it is
  // rewritten in place, and the complete new content waits in the journal
  // first, so that a rewrite cut short is finished at the next start.
  const std::string journal = JournalOf(path);
  if (rename(sibling.c_str(), journal.c_str()) != 0) {
    env::WriteProgramLog("hosts file unchanged: no journal for its rewrite");
    unlink(sibling.c_str());
    return false;
  }
  SyncFolder(FolderOf(path));
  bool put_back = false;
  const bool written = RewriteInPlace(target, content, previous, put_back);
  if (written || put_back) {
    unlink(journal.c_str());
    SyncFolder(FolderOf(path));
  }
  return written;
}

bool RecoverHostsFile(const std::string& path) {
  RemoveLeftoverSiblings(FolderOf(path));
  const std::string target = HostsFileTarget(path);
  if (!target.empty() && FolderOf(target) != FolderOf(path)) RemoveLeftoverSiblings(FolderOf(target));
  const std::string journal = JournalOf(path);
  std::string content;
  if (!ReadOwnFile(journal, content)) return false;
  env::WriteProgramLog("hosts file rewrite finished from its journal");
  const bool written = WriteHostsFile(path, content);
  if (written) unlink(journal.c_str());
  return written;
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

}  // namespace channel
