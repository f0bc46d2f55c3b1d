#ifndef BROWSER_UPGRADE_DOWNLOADS_H_
#define BROWSER_UPGRADE_DOWNLOADS_H_

#include <cstdint>
#include <map>
#include <string>

namespace browser {

// The downloads taken as the service's upgrade, whichever window started
// them. The upgrade dialog's cancel reaches the ones under way then and no
// later download; a cancelled one is never started. UI thread only.
class UpgradeDownloads {
 public:
  static UpgradeDownloads& Get();

  void Begin(uint32_t id);
  bool Has(uint32_t id) const { return under_way_.count(id) > 0; }
  // Every upgrade under way now stops at its next report.
  void CancelUnderWay();
  bool Cancelled(uint32_t id) const;
  // |id| ended: the file of one that completed uncancelled is the one to
  // start; answers whether it is.
  bool Complete(uint32_t id, const std::string& path);
  void Forget(uint32_t id) { under_way_.erase(id); }
  const std::string& path() const { return path_; }

 private:
  std::map<uint32_t, bool> under_way_;  // id: cancelled
  std::string path_;
};

}  // namespace browser

#endif  // BROWSER_UPGRADE_DOWNLOADS_H_
