#include "channel/hosts_text.h"

#include <algorithm>

#include "channel/host_names.h"
#include "env/logs.h"

namespace channel {

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

bool NamesAny(const std::string& name, const std::vector<std::string>& domains) {
  for (const std::string& domain : domains)
    if (!domain.empty() && SameHostName(name, domain)) return true;
  return false;
}

// |line| without the names (after its address, before any comment) that
// are one of |domains|, each with the blanks before it; |line| itself when
// it names none of them, empty when no name would be left.
std::string WithoutNames(const std::string& line, const std::vector<std::string>& domains) {
  const size_t entry_end = std::min(line.find('#'), line.size());
  const char* const kBlanks = " \t\r\n";
  std::string out;
  size_t copied = 0;
  size_t names = 0, dropped = 0;
  size_t start = line.find_first_not_of(kBlanks);
  bool address = true;
  while (start != std::string::npos && start < entry_end) {
    const size_t end = std::min(line.find_first_of(kBlanks, start), entry_end);
    if (!address) {
      ++names;
      if (NamesAny(line.substr(start, end - start), domains)) {
        ++dropped;
        const size_t blanks = line.find_last_not_of(kBlanks, start - 1) + 1;
        out += line.substr(copied, blanks - copied);
        copied = end;
      }
    }
    address = false;
    start = line.find_first_not_of(kBlanks, end);
  }
  if (dropped == 0) return line;
  if (dropped == names) return std::string();
  return out + line.substr(copied);
}

}  // namespace

HostsLines SplitHostsLines(const std::string& text, const std::vector<std::string>& pinned_domains) {
  HostsLines lines;
  ForEachLine(text, [&](std::string line) {
    if (line.back() != '\n') line += '\n';
    if (IsPinnedHostsLine(line)) return;
    std::string rest = WithoutNames(line, pinned_domains);
    if (rest != line) {
      lines.taken_out.push_back(std::move(line));
      lines.left_in.push_back(rest);
      if (rest.empty()) return;
    }
    lines.kept.push_back(std::move(rest));
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

namespace {

// Where |line| (ending in a line end) stands as a whole line of |text|.
size_t FindLine(const std::string& text, const std::string& line) {
  for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
    if (at == 0 || text[at - 1] == '\n') return at;
  return std::string::npos;
}

}  // namespace

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
  const HostsLines lines = SplitHostsLines(original, pinned);
  for (size_t i = 0; i < lines.taken_out.size(); ++i) {
    const std::string& whole = lines.taken_out[i];
    const std::string& rest = lines.left_in[i];
    if (content.find(whole) != std::string::npos) continue;
    // The line's other names stayed: it becomes whole again where it is.
    const size_t at = rest.empty() ? std::string::npos : FindLine(content, rest);
    if (at == std::string::npos)
      content += whole;
    else
      content.replace(at, rest.size(), whole);
  }
  return content;
}

}  // namespace channel
