#ifndef CHANNEL_HOSTS_FILE_H_
#define CHANNEL_HOSTS_FILE_H_

#include <string>

namespace channel {

// Files of ours kept beside the hosts file while a rewrite or a run is
// under way.
inline constexpr char kJournalFileName[] = ".veltrocrm-hosts-journal";
inline constexpr char kRestorePointFileName[] = ".veltrocrm-hosts-restore";

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

// A run's restore point, kept beside the hosts file from before its first
// rewrite until it has put the file back, so that a later start can put it
// back after a crash.
bool SaveRestorePoint(const std::string& path, const std::string& original, const std::string& written);
bool LoadRestorePoint(const std::string& path, std::string& original, std::string& written);
void DropRestorePoint(const std::string& path);

}  // namespace channel

#endif  // CHANNEL_HOSTS_FILE_H_
