#ifndef BROWSER_DOWNLOADS_H_
#define BROWSER_DOWNLOADS_H_

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "engine/engine.h"
#include "platform/file_dialog.h"

namespace browser {

// The installer of a new version: a name ending in ".exe", or in ".deb"
// (the package of this platform).
bool IsUpgradePackageName(const std::string& name);
// From the last "." to the end; the whole name when it has no ".".
std::string DownloadExtension(const std::string& name);
// The save dialog's filter for |name|.
std::string SaveDialogFilter(const std::string& name);
// |name| as one file name inside a folder: every "/" and control character
// replaced, never "." or ".."; "download" when nothing is left.
std::string SafeDownloadName(const std::string& name);
// Whether |item| named |name| is an upgrade of the service's own: an
// installer's name, and a download the service or the user started whose
// every address was the service's (or a blob: of the service's origin).
bool IsServiceUpgrade(const engine::DownloadItem& item, const std::string& name, const std::string& start_url);

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

// The download operations of one browser handler: where each download is
// saved, and the commands its progress and completion post to a window.
// The service's upgrades are kept in |upgrades|, which every window shares.
class DownloadHandling {
 public:
  using AskSavePath = std::function<std::string(const platform::SaveFileRequest&)>;
  using PostCommand = std::function<void(uint32_t command, intptr_t lparam)>;
  DownloadHandling(std::string start_url, AskSavePath ask, PostCommand post,
                   UpgradeDownloads& upgrades = UpgradeDownloads::Get());

  void OnBeforeDownload(const engine::DownloadItem& item, const std::string& suggested_name,
                        engine::BeforeDownloadCallback& callback);
  void OnDownloadUpdated(const engine::DownloadItem& item, engine::DownloadItemCallback& callback);

 private:
  const std::string start_url_;
  AskSavePath ask_;
  PostCommand post_;
  UpgradeDownloads& upgrades_;
};

}  // namespace browser

#endif  // BROWSER_DOWNLOADS_H_
