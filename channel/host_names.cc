#include "channel/host_names.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "build_config.h"

namespace channel {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

bool IsDottedIPv4(const std::string& text) {
  size_t position = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (position >= text.size() || text[position] != '.') return false;
      ++position;
    }
    const size_t start = position;
    int value = 0;
    while (position < text.size() && IsDigit(text[position]) && position - start < 3)
      value = value * 10 + (text[position++] - '0');
    const size_t digits = position - start;
    if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return false;
  }
  return position == text.size();
}

bool IsPinnableDomain(const std::string& domain) {
  if (domain.empty() || domain.size() > 253) return false;
  size_t labels = 0;
  size_t start = 0;
  bool last_all_digits = false;
  while (start <= domain.size()) {
    const size_t end = std::min(domain.find('.', start), domain.size());
    const size_t length = end - start;
    if (length == 0 || length > 63) return false;
    if (domain[start] == '-' || domain[end - 1] == '-') return false;
    last_all_digits = true;
    for (size_t i = start; i < end; ++i) {
      const char c = domain[i];
      if (!IsLetter(c) && !IsDigit(c) && c != '-') return false;
      last_all_digits &= IsDigit(c);
    }
    ++labels;
    start = end + 1;
  }
  if (labels < 2 || last_all_digits) return false;
  const std::string lower = Lower(domain);
  const std::string localhost = "localhost";
  return lower.size() < localhost.size() ||
         lower.compare(lower.size() - localhost.size(), localhost.size(), localhost) != 0 ||
         (lower.size() > localhost.size() && lower[lower.size() - localhost.size() - 1] != '.');
}

namespace {

// |dotted| as a number; false when it is no dotted IPv4 address.
bool ParseIPv4(const std::string& dotted, uint32_t& value) {
  if (!IsDottedIPv4(dotted)) return false;
  value = 0;
  size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    const size_t dot = dotted.find('.', start);
    value = (value << 8) | static_cast<uint32_t>(std::stoul(dotted.substr(start, dot - start)));
    start = dot + 1;
  }
  return true;
}

bool InRange(uint32_t address, const std::string& range) {
  const size_t slash = range.find('/');
  uint32_t base = 0;
  if (slash == std::string::npos || !ParseIPv4(range.substr(0, slash), base)) return false;
  const std::string bits_text = range.substr(slash + 1);
  if (bits_text.empty() || bits_text.size() > 2 || bits_text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const int bits = std::stoi(bits_text);
  if (bits > 32) return false;
  const uint32_t mask = bits == 0 ? 0 : ~uint32_t{0} << (32 - bits);
  return (address & mask) == (base & mask);
}

}  // namespace

bool IsServiceAddress(const std::string& address, const std::vector<std::string>& extra_ranges) {
  uint32_t value = 0;
  if (!ParseIPv4(address, value)) return false;
  for (const std::string& range : extra_ranges)
    if (InRange(value, range)) return true;
  // The special-purpose ranges no public service is reached at.
  static const char* const kNotAService[] = {
      "0.0.0.0/8",     "10.0.0.0/8",     "100.64.0.0/10",   "127.0.0.0/8",   "169.254.0.0/16", "172.16.0.0/12",
      "192.0.0.0/24",  "192.0.2.0/24",   "192.88.99.0/24",  "192.168.0.0/16", "198.18.0.0/15",  "198.51.100.0/24",
      "203.0.113.0/24", "224.0.0.0/4",   "240.0.0.0/4"};
  for (const char* range : kNotAService)
    if (InRange(value, range)) return false;
  return true;
}

std::vector<std::string> BuildServiceRanges() {
  std::vector<std::string> ranges;
  const std::string list = VELTRO_EXTRA_SERVICE_RANGES;
  size_t start = 0;
  while (start < list.size()) {
    const size_t end = std::min(list.find(';', start), list.size());
    if (end > start) ranges.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return ranges;
}

bool SameHostName(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

bool IsUnderSuffix(const std::string& domain, const std::vector<std::string>& suffixes) {
  const std::string name = Lower(domain);
  for (const std::string& suffix : suffixes) {
    const std::string end = Lower(suffix);
    if (end.empty() || end.size() > name.size()) continue;
    if (name.compare(name.size() - end.size(), end.size(), end) != 0) continue;
    if (name.size() == end.size() || name[name.size() - end.size() - 1] == '.') return true;
  }
  return false;
}

}  // namespace channel
