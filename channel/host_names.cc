#include "channel/host_names.h"

#include <algorithm>
#include <cctype>

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
