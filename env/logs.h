#ifndef ENV_LOGS_H_
#define ENV_LOGS_H_

#include <cstdint>
#include <ctime>
#include <string>

namespace env {

// Per-day UTF-16LE logs in the log folder of paths.h. Each call appends one
// record; without a log folder it is dropped. Records are never split
// or interleaved, whatever the number of writing threads and processes.
void WritePageLog(const std::u16string& message);
void WriteProgramLog(const std::u16string& message);
void WriteCrashLog(const std::u16string& message);
// UTF-8 convenience for the program log.
void WriteProgramLog(const std::string& message);
// Outside text made safe for a log line: control characters, backslashes
// and bytes above 0x7E as \xNN, at most 80 characters of it.
std::string PrintableForLog(const std::string& text);
// An address for a log line: PrintableForLog() of it without the user name
// and password it may carry ("https://user:pw@host/" logs "https://host/").
std::string AddressForLog(const std::string& url);

// From now on program log lines go to standard error as UTF-8 lines.
// Program log lines go to |fd| instead, one line each, given up on when
// |fd| does not take them within a moment: nothing written may block.
void SendProgramLogToStream(int fd);

// Deletes every .txt file of the log folder created more than |days| ago.
void RemoveOldLogs(int days);

// The pieces, exposed for tests.
std::string LogFileName(const char* prefix, const std::tm& local_date);
std::u16string TimeLine(const std::tm& local_time, int milliseconds);
// Appends |record| to |path| (cut at 1 MiB), creating the file, for its
// user alone, with a byte-order mark first. A record that would take the
// file past 64 MiB is dropped and the file ends with one line saying it is
// full; nothing is added after that line. False when the record was
// dropped.
bool AppendLogRecord(const std::string& path, const std::u16string& record);
void RemoveOldLogsIn(const std::string& log_folder, int days, int64_t now);

}  // namespace env

#endif  // ENV_LOGS_H_
