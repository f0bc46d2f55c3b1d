#ifndef ENV_LOG_READER_H_
#define ENV_LOG_READER_H_

#include <cstdio>
#include <string>
#include <vector>

namespace env {

// One record of a log, as support reads it.
struct LogRecord {
  std::string time;  // "2026-12-08 03:04:18.151"
  std::string kind;  // "program", "page" or "crash"
  std::string text;  // UTF-8, one line
};

// The whole records in |bytes| of a log file (UTF-16LE, byte-order mark
// first, each record's text then its "datetime:" line) from |offset| on;
// |offset| moves past them, so a record still being written is read later.
std::vector<LogRecord> ParseLogRecords(const std::string& bytes, size_t& offset, const std::string& kind);

struct LogReaderOptions {
  std::string day;                 // "YYYY-MM-DD"; empty: today
  std::vector<std::string> kinds;  // empty: all three
  bool follow = false;             // then keep printing what is added
};

// Reads "--day", "--kind" and "--follow" of the command line after
// "--print-logs"; false with |problem| set for anything else.
bool ParseLogReaderOptions(const std::vector<std::string>& arguments, LogReaderOptions& options,
                           std::string& problem);

// Prints the day's records of the log folder this installation really
// uses, oldest first, one line each: time, kind, text. Returns the exit
// code (1 when there is no log folder or the day is not a date).
int PrintLogs(const LogReaderOptions& options, std::FILE* out);

}  // namespace env

#endif  // ENV_LOG_READER_H_
