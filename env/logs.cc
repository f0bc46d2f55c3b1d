#include "env/logs.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "env/paths.h"
#include "env/utf.h"
#include "platform/file_times.h"

namespace env {

namespace {

constexpr char kPageLogPrefix[] = "网页日志";
constexpr char kProgramLogPrefix[] = "软件日志";
constexpr char kCrashLogPrefix[] = "crash";

// A page that logs without end fills one file a day this large, then the
// last record says so; one record is cut to a size far beyond any real one.
constexpr off_t kMostLogBytes = 64 * 1024 * 1024;
constexpr size_t kMostRecordBytes = 1024 * 1024;
constexpr char16_t kLogFull[] = u"log full: nothing more is written to this file today\r\n";

// Set in the hosts helper, whose lines the client logs for it; -1 once the
// stream stopped taking them.
int g_stream = -1;
bool g_to_stream = false;

std::u16string Ascii(const char* text) {
  std::u16string out;
  for (; *text; ++text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
  return out;
}

std::vector<char> Utf16Le(const std::u16string& text) {
  std::vector<char> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// A stream that takes no line within this long is given up: a full pipe
// nobody reads must not hold the helper.
constexpr long kStreamWaitUs = 200 * 1000;
constexpr size_t kMostStreamLine = 4096;

void WakeUp(int) {}

void WriteToStream(const std::string& line) {
  const std::string text = line.substr(0, kMostStreamLine) + "\n";
  // The timer's signal cuts a write that waits; without SA_RESTART the
  // write returns instead of waiting on.
  itimerval timer{};
  timer.it_value.tv_usec = kStreamWaitUs;
  setitimer(ITIMER_REAL, &timer, nullptr);
  // One write: a second could wait again once the timer has gone off.
  const ssize_t written = write(g_stream, text.data(), text.size());
  timer = itimerval{};
  setitimer(ITIMER_REAL, &timer, nullptr);
  if (written != static_cast<ssize_t>(text.size())) g_stream = -1;
}

// Whether the |size| bytes of |fd| end with |tail|.
bool EndsWith(int fd, off_t size, const std::vector<char>& tail) {
  if (size < static_cast<off_t>(tail.size())) return false;
  std::vector<char> end(tail.size());
  return pread(fd, end.data(), end.size(), size - static_cast<off_t>(end.size())) ==
             static_cast<ssize_t>(end.size()) &&
         end == tail;
}

// Creates |path| holding only the byte-order mark, atomically: the file
// appears with its mark or not at all, so no writer can get in before it.
void CreateWithByteOrderMark(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  std::string temp = folder + "/.log-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return;
  const char bom[2] = {'\xFF', '\xFE'};
  const bool ok = WriteAll(fd, bom, sizeof(bom));
  // Customer numbers and page messages: for the user alone.
  fchmod(fd, 0600);
  close(fd);
  // link() fails when another writer created the file first; theirs stays.
  if (ok) link(temp.c_str(), path.c_str());
  unlink(temp.c_str());
}

void Write(const char* prefix, const std::u16string& record) {
  const std::string folder = GetLogDirectory();
  if (folder.empty()) return;
  const time_t now = time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  AppendLogRecord(folder + LogFileName(prefix, local), record);
}

std::u16string TimedRecord(const std::u16string& message) {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm local{};
  localtime_r(&tv.tv_sec, &local);
  return message + u"\r\n" + TimeLine(local, static_cast<int>(tv.tv_usec / 1000)) + u"\r\n";
}

}  // namespace

std::string LogFileName(const char* prefix, const std::tm& date) {
  char stamp[32];
  snprintf(stamp, sizeof(stamp), "%d%02d%02d", date.tm_year + 1900, date.tm_mon + 1, date.tm_mday);
  return std::string(prefix) + stamp + ".txt";
}

std::u16string TimeLine(const std::tm& t, int milliseconds) {
  char line[64];
  snprintf(line, sizeof(line), "datetime:%4d/%02d/%02d %02d:%02d:%02d.%03d", t.tm_year + 1900, t.tm_mon + 1,
           t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, milliseconds);
  return Ascii(line);
}

bool AppendLogRecord(const std::string& path, const std::u16string& record) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) CreateWithByteOrderMark(path);
  const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  // One write under an exclusive lock: appends of other threads and
  // processes never land inside this record.
  flock(fd, LOCK_EX);
  const std::vector<char> bytes =
      Utf16Le(record.size() * 2 <= kMostRecordBytes ? record : record.substr(0, kMostRecordBytes / 2) + u"\r\n");
  const std::vector<char> full = Utf16Le(kLogFull);
  bool ok = false;
  const off_t size = fstat(fd, &status) == 0 ? status.st_size : 0;
  if (size + static_cast<off_t>(bytes.size()) <= kMostLogBytes) {
    // A file that ended its day takes nothing more, not even what fits.
    ok = !EndsWith(fd, size, full) && WriteAll(fd, bytes.data(), bytes.size());
  } else if (!EndsWith(fd, size, full)) {
    WriteAll(fd, full.data(), full.size());
  }
  flock(fd, LOCK_UN);
  close(fd);
  return ok;
}

void WritePageLog(const std::u16string& message) { Write(kPageLogPrefix, message + u"\r\n"); }

void WriteProgramLog(const std::u16string& message) {
  if (g_to_stream) {
    if (g_stream >= 0) WriteToStream(Utf16ToUtf8(message));
    return;
  }
  Write(kProgramLogPrefix, TimedRecord(message));
}

void WriteCrashLog(const std::u16string& message) { Write(kCrashLogPrefix, TimedRecord(message)); }

void WriteProgramLog(const std::string& message) { WriteProgramLog(Utf8ToUtf16(message)); }

void SendProgramLogToStream(int fd) {
  struct sigaction wake {};
  wake.sa_handler = WakeUp;
  sigemptyset(&wake.sa_mask);
  sigaction(SIGALRM, &wake, nullptr);
  g_to_stream = true;
  g_stream = fd;
}

void RemoveOldLogs(int days) {
  const std::string folder = GetLogDirectory();
  if (!folder.empty()) RemoveOldLogsIn(folder, days, time(nullptr));
}

void RemoveOldLogsIn(const std::string& log_folder, int days, int64_t now) {
  DIR* dir = opendir(log_folder.c_str());
  if (!dir) return;
  const int64_t limit = static_cast<int64_t>(days) * 86400;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".txt") != 0) continue;
    const std::string path = log_folder + name;
    int64_t created = 0;
    // A file whose status cannot be read is left for the next run.
    if (!platform::GetFileCreationTime(path, created)) continue;
    if (now - created > limit) unlink(path.c_str());
  }
  closedir(dir);
}

std::string AddressForLog(const std::string& url) {
  std::string bare = url;
  const size_t scheme_end = bare.find("://");
  if (scheme_end != std::string::npos) {
    const size_t host_start = scheme_end + 3;
    const size_t authority_end = std::min(bare.find_first_of("/?#", host_start), bare.size());
    const size_t at = bare.rfind('@', authority_end - 1);
    if (at != std::string::npos && at >= host_start) bare.erase(host_start, at + 1 - host_start);
  }
  return PrintableForLog(bare);
}

std::string PrintableForLog(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < text.size() && i < 80; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c > 0x7E || c == '\\') {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return text.size() > 80 ? out + "..." : out;
}

}  // namespace env
