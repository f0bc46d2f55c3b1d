#ifndef BROWSER_DOWNLOADS_H_
#define BROWSER_DOWNLOADS_H_

#include <cstdint>
#include <functional>
#include <string>

#include "browser/upgrade_downloads.h"
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
