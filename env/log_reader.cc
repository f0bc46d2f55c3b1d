#include "env/log_reader.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "env/logs.h"
#include "env/paths.h"
#include "env/utf.h"

namespace env {

namespace {

struct Kind {
  const char* name;
  const char* prefix;
};
constexpr Kind kKinds[] = {{"program", "软件日志"}, {"page", "网页日志"}, {"crash", "crash"}};

constexpr auto kFollowPause = std::chrono::milliseconds(500);

// "datetime:2026/12/08 03:04:18.151" -> "2026-12-08 03:04:18.151"; empty
// for any other line.
std::string TimeOfLine(const std::u16string& line) {
  static const std::regex pattern(R"(datetime:(\d{4})/(\d{2})/(\d{2}) (\d{2}:\d{2}:\d{2}\.\d{3}))");
  std::smatch match;
  const std::string text = Utf16ToUtf8(line);
  if (!std::regex_match(text, match, pattern)) return std::string();
  return match[1].str() + "-" + match[2].str() + "-" + match[3].str() + " " + match[4].str();
}

bool ParseDay(const std::string& text, std::tm& day) {
  static const std::regex pattern(R"((\d{4})-(\d{2})-(\d{2}))");
  std::smatch match;
  if (!std::regex_match(text, match, pattern)) return false;
  day = std::tm{};
  day.tm_year = std::stoi(match[1].str()) - 1900;
  day.tm_mon = std::stoi(match[2].str()) - 1;
  day.tm_mday = std::stoi(match[3].str());
  return day.tm_mon >= 0 && day.tm_mon < 12 && day.tm_mday >= 1 && day.tm_mday <= 31;
}

std::tm Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

std::string ReadFrom(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void Print(const LogRecord& record, std::FILE* out) {
  std::fprintf(out, "%s %-7s %s\n", record.time.c_str(), record.kind.c_str(), record.text.c_str());
}

}  // namespace

std::vector<LogRecord> ParseLogRecords(const std::string& bytes, size_t& offset, const std::string& kind) {
  std::vector<LogRecord> records;
  if (offset == 0 && bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') offset = 2;
  std::u16string text;
  size_t position = offset;
  while (position + 1 < bytes.size()) {
    // One line, up to its "\n".
    std::u16string line;
    size_t end = position;
    bool whole = false;
    for (; end + 1 < bytes.size(); end += 2) {
      const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[end]) |
                                                  static_cast<unsigned char>(bytes[end + 1]) << 8);
      if (unit == u'\n') {
        whole = true;
        end += 2;
        break;
      }
      if (unit != u'\r') line.push_back(unit);
    }
    if (!whole) break;
    position = end;
    // The page log's records are its lines, untimed.
    if (kind == "page") {
      if (!line.empty()) records.push_back({"", kind, Utf16ToUtf8(line)});
      offset = position;
      continue;
    }
    const std::string time = TimeOfLine(line);
    if (time.empty()) {
      // A record's text can hold line breaks; support reads it on one line.
      if (!text.empty()) text += u" \u23CE ";
      text += line;
      continue;
    }
    records.push_back({time, kind, Utf16ToUtf8(text)});
    text.clear();
    offset = position;
  }
  // The day's last line: nothing follows it, and nothing comes after it.
  if (!text.empty() && text.rfind(u"log full:", 0) == 0) {
    records.push_back({"", kind, Utf16ToUtf8(text)});
    offset = position;
  }
  return records;
}

bool ParseLogReaderOptions(const std::vector<std::string>& arguments, LogReaderOptions& options,
                           std::string& problem) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto value = [&](const std::string& name, std::string& into) {
      if (argument.rfind(name + "=", 0) == 0) {
        into = argument.substr(name.size() + 1);
        return true;
      }
      if (argument != name) return false;
      if (i + 1 < arguments.size()) into = arguments[++i];
      return true;
    };
    std::string kind;
    if (argument == "--print-logs") continue;
    if (argument == "--follow") {
      options.follow = true;
    } else if (value("--day", options.day)) {
      std::tm day{};
      if (!ParseDay(options.day, day)) problem = "--day wants a date as YYYY-MM-DD, not \"" + options.day + "\"";
    } else if (value("--kind", kind)) {
      if (kind != "program" && kind != "page" && kind != "crash")
        problem = "--kind is program, page or crash, not \"" + kind + "\"";
      options.kinds.push_back(kind);
    } else {
      problem = "unknown option for --print-logs: " + argument;
    }
    if (!problem.empty()) return false;
  }
  return true;
}

int PrintLogs(const LogReaderOptions& options, std::FILE* out) {
  const std::string folder = GetLogDirectory();
  if (folder.empty()) {
    std::fprintf(stderr, "veltrocrm: no log folder\n");
    return 1;
  }
  std::tm day = Today();
  if (!options.day.empty() && !ParseDay(options.day, day)) {
    std::fprintf(stderr, "veltrocrm: --day wants a date as YYYY-MM-DD\n");
    return 1;
  }
  struct Source {
    const Kind* kind;
    std::string path;
    size_t offset = 0;
  };
  std::vector<Source> sources;
  const auto open_day = [&](const std::tm& date) {
    sources.clear();
    for (const Kind& kind : kKinds)
      if (options.kinds.empty() || std::count(options.kinds.begin(), options.kinds.end(), kind.name))
        sources.push_back({&kind, folder + LogFileName(kind.prefix, date)});
  };
  open_day(day);
  for (;;) {
    std::vector<LogRecord> records;
    for (Source& source : sources) {
      const std::string bytes = ReadFrom(source.path);
      if (bytes.size() < source.offset) source.offset = 0;  // a new file of the same name
      std::vector<LogRecord> more = ParseLogRecords(bytes, source.offset, source.kind->name);
      records.insert(records.end(), more.begin(), more.end());
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const LogRecord& a, const LogRecord& b) { return a.time < b.time; });
    for (const LogRecord& record : records) Print(record, out);
    std::fflush(out);
    if (!options.follow) return 0;
    std::this_thread::sleep_for(kFollowPause);
    // Following today: at midnight the next day's files take over.
    const std::tm now = Today();
    if (options.day.empty() && (now.tm_mday != day.tm_mday || now.tm_mon != day.tm_mon)) {
      day = now;
      open_day(day);
    }
  }
}

}  // namespace env
