#ifndef BROWSER_DOWNLOADS_H_
#define BROWSER_DOWNLOADS_H_

#include <cstdint>
#include <functional>
#include <set>
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

// Process-wide: a cancel waiting for the next report of whatever download
// reports next.
bool DownloadCancelPending();
void SetDownloadCancelPending(bool pending);

// The download operations of one browser handler: where each download is
// saved, and the commands its progress and completion post to the main
// window.
class DownloadHandling {
 public:
  using AskSavePath = std::function<std::string(const platform::SaveFileRequest&)>;
  using PostCommand = std::function<void(uint32_t command, intptr_t lparam)>;
  DownloadHandling(std::string start_url, AskSavePath ask, PostCommand post);

  void OnBeforeDownload(const engine::DownloadItem& item, const std::string& suggested_name,
                        engine::BeforeDownloadCallback& callback);
  void OnDownloadUpdated(const engine::DownloadItem& item, engine::DownloadItemCallback& callback);
  // The file of the upgrade that completed last: the one to start.
  const std::string& upgrade_path() const { return upgrade_path_; }
  bool upgrade_active() const { return !upgrades_.empty(); }

 private:
  const std::string start_url_;
  AskSavePath ask_;
  PostCommand post_;
  // The downloads taken as the upgrade, by id, until they end: no other
  // file of the window is ever started as the upgrade.
  std::set<uint32_t> upgrades_;
  std::string upgrade_path_;
};

}  // namespace browser

#endif  // BROWSER_DOWNLOADS_H_
