#include "platform/ini_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace platform {

namespace {

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The section name of a "[name]" line, if it is one.
std::optional<std::string> SectionOf(const std::string& line) {
  const std::string trimmed = Trim(line);
  if (trimmed.size() < 2 || trimmed.front() != '[') return std::nullopt;
  const size_t close = trimmed.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(trimmed.substr(1, close - 1));
}

// The key of a "key=value" line, if it is one.
std::optional<std::string> KeyOf(const std::string& line) {
  const size_t equals = line.find('=');
  if (equals == std::string::npos) return std::nullopt;
  const std::string key = Trim(line.substr(0, equals));
  if (key.empty() || key[0] == ';') return std::nullopt;
  return key;
}

std::vector<std::string> ReadLines(const std::string& path, bool& exists) {
  std::vector<std::string> lines;
  // Anything but a regular file (a FIFO would block the open) counts as
  // missing.
  struct stat status;
  exists = stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
  if (!exists) return lines;
  std::ifstream in(path, std::ios::binary);
  exists = static_cast<bool>(in);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& default_value, const std::string& path) {
  bool exists = false;
  bool in_section = false;
  for (const std::string& line : ReadLines(path, exists)) {
    if (auto name = SectionOf(line)) {
      in_section = EqualsIgnoreCase(*name, section);
      continue;
    }
    if (!in_section) continue;
    if (auto name = KeyOf(line); name && EqualsIgnoreCase(*name, key)) {
      std::string value = Trim(line.substr(line.find('=') + 1));
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
      return value;
    }
  }
  return default_value;
}

int GetPrivateProfileInt(const std::string& section, const std::string& key, int default_value,
                         const std::string& path) {
  const std::string value = GetPrivateProfileString(section, key, std::string(), path);
  if (value.empty()) return default_value;
  size_t i = 0;
  bool negative = false;
  if (value[i] == '-' || value[i] == '+') negative = value[i++] == '-';
  long long result = 0;
  for (; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])); ++i) {
    result = result * 10 + (value[i] - '0');
    if (result > 0xFFFFFFFFLL) result = 0xFFFFFFFFLL;
  }
  return static_cast<int>(static_cast<unsigned int>(negative ? -result : result));
}

bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& path) {
  bool exists = false;
  std::vector<std::string> lines = ReadLines(path, exists);
  std::optional<size_t> section_line;
  std::optional<size_t> section_end;
  bool in_section = false;
  bool written = false;
  for (size_t i = 0; i < lines.size() && !written; ++i) {
    if (auto name = SectionOf(lines[i])) {
      if (in_section) break;
      in_section = EqualsIgnoreCase(*name, section);
      if (in_section) section_line = i;
      continue;
    }
    if (!in_section) continue;
    if (!Trim(lines[i]).empty()) section_end = i;
    if (auto name = KeyOf(lines[i]); name && EqualsIgnoreCase(*name, key)) {
      lines[i] = *name + "=" + value;
      written = true;
    }
  }
  if (!written) {
    if (section_line) {
      const size_t at = (section_end ? *section_end : *section_line) + 1;
      lines.insert(lines.begin() + static_cast<long>(at), key + "=" + value);
    } else {
      lines.push_back("[" + section + "]");
      lines.push_back(key + "=" + value);
    }
  }
  std::ostringstream content;
  for (const std::string& line : lines) content << line << "\r\n";
  const std::string data = content.str();

  // Write beside the file and rename over it: a crash never leaves half a file.
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  struct stat status;
  fchmod(fd, exists && stat(path.c_str(), &status) == 0 ? (status.st_mode & 07777) : 0644);
  bool ok = true;
  for (size_t offset = 0; ok && offset < data.size();) {
    const ssize_t n = write(fd, data.data() + offset, data.size() - offset);
    if (n < 0) ok = false;
    else offset += static_cast<size_t>(n);
  }
  ok = fsync(fd) == 0 && ok;
  close(fd);
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
