#ifndef CHANNEL_HOSTS_TEXT_H_
#define CHANNEL_HOSTS_TEXT_H_

#include <string>
#include <vector>

namespace channel {

// The rules of the hosts file's text: which lines are ours, what of the
// user's lines a pin takes out and how it goes back. No file is touched.

// Ends every line this program writes into the hosts file, so that its
// lines are known as its own even after a crash.
inline constexpr char kPinMarker[] = "# VeltroCRM channel pin";
// The line pinning |domain| to |address|, marked as ours: built from the
// two values only, and empty (logged) when either breaks the rules of
// host_names.h.
std::string PinnedHostsLine(const std::string& address, const std::string& domain);
// Whether |line| is exactly such a line.
bool IsPinnedHostsLine(const std::string& line);

struct HostsLines {
  // Each ending in "\n", the empty lines at the end dropped.
  std::vector<std::string> kept;
  // The user's own lines that give a pinned domain an address, whole.
  std::vector<std::string> taken_out;
  // What of each of them is kept: the line without the pinned names, or
  // empty when it named nothing else.
  std::vector<std::string> left_in;
};
// Splits a hosts file text: our pinned lines (stale ones too) go, the
// names of |pinned_domains| (whole host names, case ignored, comments not
// read) are taken out of the user's lines, which stay with their other
// names; every other line is kept.
HostsLines SplitHostsLines(const std::string& text, const std::vector<std::string>& pinned_domains);
// |text| without our pinned lines, every other byte as it was.
std::string WithoutPinnedLines(const std::string& text);

// The text that puts the hosts file back after a run that found it as
// |original| and wrote |written|: |original| (without pinned lines) when
// the file is still |written|, otherwise |current| without pinned lines
// and with the user's lines the run took out.
std::string RestoredHostsText(const std::string& current, const std::string& original, const std::string& written);

}  // namespace channel

#endif  // CHANNEL_HOSTS_TEXT_H_
