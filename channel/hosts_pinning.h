#ifndef CHANNEL_HOSTS_PINNING_H_
#define CHANNEL_HOSTS_PINNING_H_

#include <memory>
#include <string>
#include <vector>

namespace channel {

struct PinnedHost {
  std::string address;
  std::string domain;
  bool operator==(const PinnedHost&) const = default;
};

// The two changes a run makes to the hosts file, whoever makes them.
class HostsEditor {
 public:
  virtual ~HostsEditor() = default;
  // Writes a line per host, taking out every other line for its domain,
  // and keeps a restore point until Unpin.
  virtual bool Pin(const std::vector<PinnedHost>& hosts) = 0;
  // Puts the file back as the restore point says (also after a crashed
  // run) and takes out any pinned line of ours.
  virtual bool Unpin() = 0;
};

// Edits the file itself: needs write access to it and its folder.
class LocalHostsEditor : public HostsEditor {
 public:
  explicit LocalHostsEditor(std::string hosts_path) : hosts_path_(std::move(hosts_path)) {}
  bool Pin(const std::vector<PinnedHost>& hosts) override;
  bool Unpin() override;

 private:
  const std::string hosts_path_;
};

// Has the hosts helper make the changes to /etc/hosts, started directly
// when this process is root and through pkexec otherwise.
class HelperHostsEditor : public HostsEditor {
 public:
  HelperHostsEditor(std::string helper_path, std::string hosts_path)
      : helper_path_(std::move(helper_path)), hosts_path_(std::move(hosts_path)) {}
  bool Pin(const std::vector<PinnedHost>& hosts) override;
  // Starts the helper only when the file holds something of ours.
  bool Unpin() override;

 private:
  bool RunHelper(const std::vector<std::string>& arguments);

  const std::string helper_path_;
  const std::string hosts_path_;
};

// Whether |hosts_path| holds a pinned line of ours or has a restore point
// or journal of ours beside it; needs only read access.
bool HostsFileNeedsCleaning(const std::string& hosts_path);

// The hosts helper's command line: "pin ADDRESS DOMAIN [ADDRESS DOMAIN...]",
// "unpin" or "allow-call-port". Anything else, and any address or domain
// that breaks the pinning rules, is refused as a whole with exit status 2.
int RunHostsHelper(const std::string& hosts_path, const std::vector<std::string>& arguments);

}  // namespace channel

#endif  // CHANNEL_HOSTS_PINNING_H_
