#ifndef CHANNEL_HOSTS_PINNING_H_
#define CHANNEL_HOSTS_PINNING_H_

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace channel {

struct PinnedHost {
  std::string address;
  std::string domain;
  bool operator==(const PinnedHost&) const = default;
};

// The files a hosts change works with.
struct HostsFiles {
  std::string hosts;
  // The domain suffixes that may be pinned, one a line; without this file,
  // nothing may be.
  std::string pinnable_domains;
  // Taken by every change of the hosts file; only its owner can open it.
  std::string lock;
};
// The system's: /etc/hosts, /etc/veltrocrm/pinnable-domains and a lock
// under /run.
HostsFiles SystemHostsFiles();

// The suffixes listed in |path| (blank lines and "#" comments skipped,
// malformed lines logged and skipped). Empty, logged, when the file is
// missing, not a regular file, or writable by anyone but root and its
// owner, or owned by neither root nor this user.
std::vector<std::string> LoadPinnableSuffixes(const std::string& path);

// The two changes a run makes to the hosts file, whoever makes them.
class HostsEditor {
 public:
  explicit HostsEditor(HostsFiles files) : files_(std::move(files)) {}
  virtual ~HostsEditor() = default;
  // Whether every host is a well-formed pair whose domain is under a
  // pinnable suffix; a refusal is logged with the refused pair.
  bool MayPin(const std::vector<PinnedHost>& hosts) const;
  // Writes a line per host, taking out every other line for its domain,
  // and keeps a restore point until Unpin. Refused as a whole unless every
  // host may be pinned.
  virtual bool Pin(const std::vector<PinnedHost>& hosts) = 0;
  // Puts the file back as the restore point says (also after a crashed
  // run) and takes out any pinned line of ours, waiting at most |wait| for
  // whoever makes the change.
  virtual bool Unpin(std::chrono::milliseconds wait) = 0;

 protected:
  const HostsFiles files_;
};

// Edits the file itself: needs write access to it, its folder and the lock.
class LocalHostsEditor : public HostsEditor {
 public:
  using HostsEditor::HostsEditor;
  // Waits a few seconds at most for another change to end.
  bool Pin(const std::vector<PinnedHost>& hosts) override;
  bool Unpin(std::chrono::milliseconds wait) override;
};

// Has the hosts helper make the changes to the system's files, started
// directly when this process is root and through pkexec otherwise.
class HelperHostsEditor : public HostsEditor {
 public:
  HelperHostsEditor(std::string helper_path, HostsFiles files)
      : HostsEditor(std::move(files)), helper_path_(std::move(helper_path)) {}
  bool Pin(const std::vector<PinnedHost>& hosts) override;
  // Starts the helper only when the file holds something of ours.
  bool Unpin(std::chrono::milliseconds wait) override;

 private:
  bool RunHelper(const std::vector<std::string>& arguments, std::chrono::milliseconds wait);

  const std::string helper_path_;
};

// Whether |hosts_path| holds a pinned line of ours or has a restore point
// or journal of ours beside it; needs only read access.
bool HostsFileNeedsCleaning(const std::string& hosts_path);

// The hosts helper's command line: "pin ADDRESS DOMAIN [ADDRESS DOMAIN...]",
// "unpin" or "allow-call-port". Anything else, any address or domain that
// breaks the pinning rules and any domain outside the pinnable suffixes is
// refused as a whole with exit status 2.
int RunHostsHelper(const HostsFiles& files, const std::vector<std::string>& arguments);

}  // namespace channel

#endif  // CHANNEL_HOSTS_PINNING_H_
