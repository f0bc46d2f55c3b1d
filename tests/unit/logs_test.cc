#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "env/log_reader.h"
#include "env/logs.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

std::string Utf16(const std::u16string& text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

TEST(LogFormat, NamesAndTimeLine) {
  std::tm t{};
  t.tm_year = 118;
  t.tm_mon = 2;
  t.tm_mday = 15;
  t.tm_hour = 13;
  t.tm_min = 5;
  t.tm_sec = 9;
  EXPECT_EQ(env::LogFileName("软件日志", t), "软件日志20180315.txt");
  EXPECT_EQ(env::LogFileName("crash", t), "crash20180315.txt");
  EXPECT_EQ(env::TimeLine(t, 42), u"datetime:2018/03/15 13:05:09.042");
}

TEST(LogAppend, ByteOrderMarkOnlyForANewFile) {
  TempDir dir;
  const fs::path log = dir.path() / "网页日志20261207.txt";
  ASSERT_TRUE(env::AppendLogRecord(log.string(), u"你好\r\n"));
  ASSERT_TRUE(env::AppendLogRecord(log.string(), u"second\r\n"));
  EXPECT_EQ(ReadFile(log), std::string("\xFF\xFE", 2) + Utf16(u"你好\r\nsecond\r\n"));

  // An existing empty file gets no mark.
  const fs::path empty = dir.path() / "empty.txt";
  WriteFile(empty, "");
  ASSERT_TRUE(env::AppendLogRecord(empty.string(), u"x"));
  EXPECT_EQ(ReadFile(empty), Utf16(u"x"));

  // Without the folder the record is dropped and nothing is created.
  EXPECT_FALSE(env::AppendLogRecord((dir.path() / "log/none.txt").string(), u"lost"));
  EXPECT_FALSE(fs::exists(dir.path() / "log"));
  // No temporary files are left behind.
  size_t files = 0;
  for (auto& entry : fs::directory_iterator(dir.path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 2u);
}

TEST(LogAppend, ADayHasAtMost64MiBAndSaysWhenItIsFull) {
  TempDir dir;
  const fs::path log = dir.path() / "网页日志20261207.txt";
  ASSERT_TRUE(env::AppendLogRecord(log.string(), u"first\r\n"));
  // Only the user reads what customers' numbers and pages say.
  EXPECT_EQ(fs::status(log).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  // A page once wrote 404 MB in 1.8 s with 1 MiB console lines.
  const std::u16string mebibyte_line(512 * 1024 - 2, u'x');
  int written = 0;
  for (int i = 0; i < 80; ++i) written += env::AppendLogRecord(log.string(), mebibyte_line + u"\r\n");
  EXPECT_EQ(written, 63);
  const std::string text = ReadFile(log);
  EXPECT_LE(text.size(), 64u * 1024 * 1024 + 200);
  const std::string full = Utf16(u"log full: nothing more is written to this file today\r\n");
  ASSERT_GE(text.size(), full.size());
  EXPECT_EQ(text.substr(text.size() - full.size()), full);
  // Said once; a short record that would still fit is not written after it.
  EXPECT_FALSE(env::AppendLogRecord(log.string(), u"later\r\n"));
  EXPECT_EQ(ReadFile(log), text);

  // A record beyond 1 MiB is cut there, and keeps its line end.
  const fs::path other = dir.path() / "crash20261207.txt";
  ASSERT_TRUE(env::AppendLogRecord(other.string(), std::u16string(3 * 1024 * 1024, u'y')));
  const std::string cut = ReadFile(other);
  EXPECT_EQ(cut.size(), 2 + 1024 * 1024 + 4u);
  EXPECT_EQ(cut.substr(cut.size() - 4), Utf16(u"\r\n"));
}

// Records of many threads in many processes: each complete, none split.
TEST(LogAppend, ConcurrentWritersNeverSplitRecords) {
  TempDir dir;
  const std::string log = (dir.path() / "软件日志20261207.txt").string();
  constexpr int kProcesses = 4, kThreads = 4, kRecords = 200;
  auto write_all = [&](int process) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] {
        std::u16string record(300, static_cast<char16_t>(u'A' + process * kThreads + t));
        record += u"\r\n";
        for (int i = 0; i < kRecords; ++i) env::AppendLogRecord(log, record);
      });
    for (auto& thread : threads) thread.join();
  };
  std::vector<pid_t> children;
  for (int p = 1; p < kProcesses; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      write_all(p);
      _exit(0);
    }
    children.push_back(pid);
  }
  write_all(0);
  for (pid_t pid : children) waitpid(pid, nullptr, 0);

  const std::string bytes = ReadFile(log);
  ASSERT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE", 2));
  const size_t record_bytes = 302 * 2;
  ASSERT_EQ(bytes.size(), 2 + record_bytes * kProcesses * kThreads * kRecords);
  for (size_t offset = 2; offset < bytes.size(); offset += record_bytes) {
    const std::string record = bytes.substr(offset, record_bytes);
    for (size_t i = 2; i < 600; i += 2) ASSERT_EQ(record[i], record[0]) << "split record at " << offset;
    ASSERT_EQ(record.substr(600), Utf16(u"\r\n"));
  }
}

TEST(LogPurge, ByCreationAgeAcrossTheBoundary) {
  TempDir dir;
  for (const char* name : {"网页日志20260101.txt", "errorLog.txt", "notes.log"})
    WriteFile(dir.path() / name, "x");
  const int64_t now = time(nullptr);
  // Fourteen days on, everything stays.
  env::RemoveOldLogsIn(dir.str() + "/", 15, now + 14 * 86400);
  EXPECT_TRUE(fs::exists(dir.path() / "errorLog.txt"));
  // Sixteen days on, every .txt goes, other files stay.
  env::RemoveOldLogsIn(dir.str() + "/", 15, now + 16 * 86400);
  EXPECT_FALSE(fs::exists(dir.path() / "errorLog.txt"));
  EXPECT_FALSE(fs::exists(dir.path() / "网页日志20260101.txt"));
  EXPECT_TRUE(fs::exists(dir.path() / "notes.log"));
  // A missing folder is not an error.
  env::RemoveOldLogsIn(dir.str() + "/absent/", 15, now);
}

}  // namespace

// What support reads: one line a record, time first, however the text was
// broken; a record still being written waits for its time line.
TEST(LogFormat, AddressesWithoutCredentials) {
  EXPECT_EQ(env::AddressForLog("https://user:pw@crm.example:8443/a?b=c@d"), "https://crm.example:8443/a?b=c@d");
  EXPECT_EQ(env::AddressForLog("http://a@b@host/"), "http://host/");
  EXPECT_EQ(env::AddressForLog("https://crm.example/@x"), "https://crm.example/@x");
  EXPECT_EQ(env::AddressForLog("data:text/html,@"), "data:text/html,@");
  EXPECT_EQ(env::AddressForLog("http://@"), "http://");
}

TEST(LogReader, RecordsAsLines) {
  TempDir temp;
  const std::string path = (temp.path() / "log.txt").string();
  ASSERT_TRUE(env::AppendLogRecord(path, u"request fail 1 error code:6\r\ndatetime:2026/12/08 03:04:18.151\r\n"));
  ASSERT_TRUE(env::AppendLogRecord(path, u"来电 line one\r\nline two\r\ndatetime:2026/12/08 03:04:19.002\r\n"));
  std::string bytes = ReadFile(path);
  // Half of a record: its text, not yet its time.
  const std::u16string half = u"still writing\r\n";
  for (char16_t unit : half) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  size_t offset = 0;
  const std::vector<env::LogRecord> records = env::ParseLogRecords(bytes, offset, "program");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].time, "2026-12-08 03:04:18.151");
  EXPECT_EQ(records[0].kind, "program");
  EXPECT_EQ(records[0].text, "request fail 1 error code:6");
  EXPECT_EQ(records[1].text, "来电 line one \u23CE line two");
  EXPECT_EQ(offset, bytes.size() - half.size() * 2);
  // The rest once it is whole, read from where the last read stopped.
  const std::u16string rest = u"datetime:2026/12/08 03:04:20.000\r\n";
  for (char16_t unit : rest) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  const std::vector<env::LogRecord> more = env::ParseLogRecords(bytes, offset, "program");
  ASSERT_EQ(more.size(), 1u);
  EXPECT_EQ(more[0].text, "still writing");
  EXPECT_EQ(offset, bytes.size());
  EXPECT_TRUE(env::ParseLogRecords(bytes, offset, "program").empty());
}

// The page log has no time lines: each line is a record. They were once
// waited for in vain, and support never saw the page's messages.
TEST(LogReader, PageLogLinesAreRecords) {
  TempDir temp;
  const std::string path = (temp.path() / "page.txt").string();
  ASSERT_TRUE(env::AppendLogRecord(path, u"page ready\r\n"));
  ASSERT_TRUE(env::AppendLogRecord(path, u"来电 13800138000\r\n"));
  std::string bytes = ReadFile(path);
  const std::u16string half = u"half a line";
  for (char16_t unit : half) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  size_t offset = 0;
  const std::vector<env::LogRecord> records = env::ParseLogRecords(bytes, offset, "page");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].text, "page ready");
  EXPECT_EQ(records[1].text, "来电 13800138000");
  EXPECT_EQ(records[1].time, "");
  EXPECT_EQ(offset, bytes.size() - half.size() * 2);
}

TEST(LogReader, Options) {
  env::LogReaderOptions options;
  std::string problem;
  EXPECT_TRUE(env::ParseLogReaderOptions({"--print-logs", "--day", "2026-12-01", "--kind=page", "--follow"}, options,
                                         problem));
  EXPECT_EQ(options.day, "2026-12-01");
  EXPECT_EQ(options.kinds, std::vector<std::string>{"page"});
  EXPECT_TRUE(options.follow);
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--day=yesterday"}, {"--day=2026-13-01"}, {"--kind=all"}, {"--start-url=x"}}) {
    env::LogReaderOptions ignored;
    problem.clear();
    EXPECT_FALSE(env::ParseLogReaderOptions(bad, ignored, problem)) << bad[0];
    EXPECT_FALSE(problem.empty());
  }
}
