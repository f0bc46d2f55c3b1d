#ifndef CHANNEL_HOSTS_FILE_H_
#define CHANNEL_HOSTS_FILE_H_

#include <string>
#include <vector>

namespace channel {

// The lines of a hosts file text that mention none of |pinned_domains|
// (byte-exact substring, comments included), each ending in "\n", with the
// empty lines at the end dropped.
std::vector<std::string> KeptHostsLines(const std::string& text, const std::vector<std::string>& pinned_domains);

// Reads |path| into |text|; false (logged) when it cannot be read.
bool ReadHostsFile(const std::string& path, std::string& text);

// Replaces the content of |path| without ever leaving it truncated or
// half-written: a sibling temporary file renamed over it (mode and owner
// kept), or, where the file cannot be replaced (a mount point), rewritten
// in place with the old content put back if that fails. False (logged)
// when the new content is not in place.
bool WriteHostsFile(const std::string& path, const std::vector<std::string>& lines);

// Empties the system's DNS cache where a caching resolver runs.
void FlushDns();

}  // namespace channel

#endif  // CHANNEL_HOSTS_FILE_H_
