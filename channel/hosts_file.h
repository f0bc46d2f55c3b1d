#ifndef CHANNEL_HOSTS_FILE_H_
#define CHANNEL_HOSTS_FILE_H_

#include <string>
#include <vector>

namespace channel {

// Ends every line this program writes into the hosts file, so that its
// lines are known as its own even after a crash.
inline constexpr char kPinMarker[] = "# VeltroCRM channel pin";
// Files of ours kept beside the hosts file while a rewrite or a run is
// under way.
inline constexpr char kJournalFileName[] = ".veltrocrm-hosts-journal";
inline constexpr char kRestorePointFileName[] = ".veltrocrm-hosts-restore";

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

// Reads |path| into |text|; false (logged) when it cannot be read.
bool ReadHostsFile(const std::string& path, std::string& text);

// Replaces the content of |path| without ever leaving it truncated or
// half-written: a sibling temporary file renamed over it (mode and owner
// kept), or, where the file cannot be replaced (a mount point), rewritten
// in place with the old content put back if that fails. The in-place way
// keeps the new content in a journal beside the file until it is done.
// False (logged) when the new content is not in place.
bool WriteHostsFile(const std::string& path, const std::string& content);

// After a crash: finishes a rewrite that the journal says was cut short
// and removes temporary files left beside |path|. True when it rewrote.
bool RecoverHostsFile(const std::string& path);

// The text that puts the hosts file back after a run that found it as
// |original| and wrote |written|: |original| (without pinned lines) when
// the file is still |written|, otherwise |current| without pinned lines
// and with the user's lines the run took out.
std::string RestoredHostsText(const std::string& current, const std::string& original, const std::string& written);

// A run's restore point, kept beside the hosts file from before its first
// rewrite until it has put the file back, so that a later start can put it
// back after a crash.
bool SaveRestorePoint(const std::string& path, const std::string& original, const std::string& written);
bool LoadRestorePoint(const std::string& path, std::string& original, std::string& written);
void DropRestorePoint(const std::string& path);

// Empties the system's DNS cache where a caching resolver runs.
void FlushDns();

}  // namespace channel

#endif  // CHANNEL_HOSTS_FILE_H_
