#include "browser/upgrade_downloads.h"

namespace browser {

UpgradeDownloads& UpgradeDownloads::Get() {
  static UpgradeDownloads downloads;
  return downloads;
}

void UpgradeDownloads::Begin(uint32_t id) { under_way_[id] = false; }

void UpgradeDownloads::CancelUnderWay() {
  for (auto& [id, cancelled] : under_way_) cancelled = true;
}

bool UpgradeDownloads::Cancelled(uint32_t id) const {
  const auto found = under_way_.find(id);
  return found != under_way_.end() && found->second;
}

bool UpgradeDownloads::Complete(uint32_t id, const std::string& path) {
  const auto found = under_way_.find(id);
  if (found == under_way_.end()) return false;
  const bool start = !found->second;
  under_way_.erase(found);
  if (start) path_ = path;
  return start;
}

}  // namespace browser
