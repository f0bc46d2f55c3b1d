#include "browser/downloads.h"

#include <linux/limits.h>
#include <sys/stat.h>

#include "env/logs.h"
#include "env/service_origin.h"
#include "env/window_messages.h"
#include "platform/user_folders.h"

namespace browser {

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The folder the upgrade package goes to, made when missing; empty when
// there is none to be had.
std::string UpgradeFolder() {
  const std::string documents = platform::DocumentsFolder();
  if (documents.empty()) return std::string();
  const std::string folder = documents + "/Downloads";
  mkdir(documents.c_str(), 0700);
  if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return std::string();
  return folder;
}

// |folder|/|name|, or, where a file of that name is there already (the
// user's own, maybe), the first free "NAME (N).EXT".
std::string FreePath(const std::string& folder, const std::string& name) {
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string extension = stem.size() == name.size() ? std::string() : name.substr(dot);
  std::string path = folder + "/" + name;
  struct stat status {};
  for (int copy = 1; copy < 1000 && lstat(path.c_str(), &status) == 0; ++copy)
    path = folder + "/" + stem + " (" + std::to_string(copy) + ")" + extension;
  return path;
}

}  // namespace

bool IsUpgradePackageName(const std::string& name) {
  return EndsWith(name, ".exe") || EndsWith(name, ".deb");
}

std::string DownloadExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot);
}

std::string SaveDialogFilter(const std::string& name) {
  if (name.find(".xl") != std::string::npos) return "Microsft Excel 工作表(*.xls)";
  return "(*" + DownloadExtension(name) + ")";
}

std::string SafeDownloadName(const std::string& name) {
  std::string safe;
  for (char c : name) safe += (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '_' : c;
  if (safe.empty() || safe == "." || safe == "..") return "download";
  return safe;
}

bool IsServiceUpgrade(const engine::DownloadItem& item, const std::string& name, const std::string& start_url) {
  if (!IsUpgradePackageName(name)) return false;
  // A blob: address names the origin of the document that made it.
  const std::string blob = "blob:";
  if (item.url.compare(0, blob.size(), blob) == 0) return env::IsServicePage(item.url.substr(blob.size()), start_url);
  // A download nobody was seen starting, or whose way led through any
  // other origin, is not the service's.
  if (!env::IsServicePage(item.url, start_url) || item.url_chain.empty()) return false;
  for (const std::string& address : item.url_chain)
    if (!env::IsServicePage(address, start_url)) return false;
  return item.initiator.empty() || env::IsServicePage(item.initiator, start_url);
}

DownloadHandling::DownloadHandling(std::string start_url, AskSavePath ask, PostCommand post,
                                   UpgradeDownloads& upgrades)
    : start_url_(std::move(start_url)), ask_(std::move(ask)), post_(std::move(post)), upgrades_(upgrades) {}

void DownloadHandling::OnBeforeDownload(const engine::DownloadItem& item, const std::string& suggested_name,
                                        engine::BeforeDownloadCallback& callback) {
  const std::string name = SafeDownloadName(suggested_name);
  if (name.size() > NAME_MAX) {
    env::WriteProgramLog("download refused: its name is too long");
    return;
  }
  // Only the service itself may have a file saved and started without
  // asking; a frame or link of anyone else's gets the dialog.
  if (IsServiceUpgrade(item, name, start_url_)) {
    const std::string folder = UpgradeFolder();
    const std::string path = FreePath(folder, name);
    struct stat status {};
    if (folder.empty() || path.size() >= PATH_MAX || lstat(path.c_str(), &status) == 0) {
      env::WriteProgramLog("upgrade download refused: no folder for \"" + env::PrintableForLog(path) + "\"");
      return;
    }
    upgrades_.Begin(item.id);
    callback.Continue(path);
    return;
  }
  if (IsUpgradePackageName(name))
    env::WriteProgramLog("installer \"" + env::PrintableForLog(name) + "\" not the service's own: the user decides");
  const std::string extension = DownloadExtension(name);
  platform::SaveFileRequest request;
  request.folder = platform::DesktopFolder();
  // A dialog that opens on a missing folder would start somewhere else.
  if (!request.folder.empty()) mkdir(request.folder.c_str(), 0755);
  request.file_name = name;
  request.filter = SaveDialogFilter(name);
  // A name without an extension gets none added.
  if (extension != name) request.default_suffix = extension.substr(1);
  // Cancelled, it is not continued: the engine then cancels it at once.
  const std::string path = ask_(request);
  if (!path.empty()) callback.Continue(path);
}

void DownloadHandling::OnDownloadUpdated(const engine::DownloadItem& item, engine::DownloadItemCallback& callback) {
  if (!upgrades_.Has(item.id)) {
    if (item.complete) post_(CMD_DOWNLOAD_FINISHED, 0);
    return;
  }
  const bool ended = item.complete || item.canceled || !item.in_progress;
  if (upgrades_.Cancelled(item.id)) {
    // Stopped at its next report; one that completed first is never started.
    if (item.in_progress) callback.Cancel();
    if (item.complete) env::WriteProgramLog("upgrade cancelled by the user: its file is not started");
    if (ended) upgrades_.Forget(item.id);
    return;
  }
  if (item.in_progress && item.received_bytes > 0) post_(CMD_UPGRADE_PROGRESS, item.percent_complete);
  if (item.complete && upgrades_.Complete(item.id, item.full_path)) post_(CMD_UPGRADE_DOWNLOADED, 0);
  if (ended) upgrades_.Forget(item.id);
}

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
