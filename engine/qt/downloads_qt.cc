#include "engine/qt/downloads_qt.h"

#include <QFileInfo>
#include <QPointer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInfo>

#include <algorithm>
#include <deque>
#include <vector>

#include "engine/engine.h"
#include "engine/qt/page_host_qt.h"
#include "engine/qt/page_qt.h"
#include "engine/qt/redirect_chains.h"

namespace engine {

namespace {

struct Navigation {
  QUrl url;
  QWebEngineUrlRequestInfo::ResourceType type;
  QUrl initiator;
  // Every address the navigation went through, |url| last.
  std::vector<QUrl> chain;
};
// Enough to find the navigation that turned into a download.
constexpr size_t kMostNavigations = 64;

// UI thread only.
std::deque<Navigation>& Navigations() {
  static std::deque<Navigation> navigations;
  return navigations;
}

// UI thread only.
RedirectChains& Chains() {
  static RedirectChains chains;
  return chains;
}

void Remember(Navigation navigation) {
  std::deque<Navigation>& navigations = Navigations();
  if (navigations.size() >= kMostNavigations) navigations.pop_front();
  navigations.push_back(std::move(navigation));
}

// |item|'s initiator and address chain from the latest navigation to |url|.
void DescribeOrigin(const QUrl& url, DownloadItem& item) {
  const std::deque<Navigation>& navigations = Navigations();
  for (auto it = navigations.rbegin(); it != navigations.rend(); ++it) {
    if (it->url != url) continue;
    item.initiator = it->initiator.toString().toStdString();
    for (const QUrl& address : it->chain) item.url_chain.push_back(address.toString().toStdString());
    return;
  }
}

class QtBeforeDownloadCallback : public BeforeDownloadCallback {
 public:
  void Continue(const std::string& download_path) override { path = download_path; }
  std::string path;
};

class QtDownloadItemCallback : public DownloadItemCallback {
 public:
  explicit QtDownloadItemCallback(QWebEngineDownloadRequest* request) : request_(request) {}
  void Cancel() override {
    if (request_) request_->cancel();
  }

 private:
  QPointer<QWebEngineDownloadRequest> request_;
};

DownloadItem Snapshot(const QWebEngineDownloadRequest* request) {
  DownloadItem item;
  item.id = request->id();
  const auto state = request->state();
  item.in_progress = state == QWebEngineDownloadRequest::DownloadInProgress;
  item.complete = state == QWebEngineDownloadRequest::DownloadCompleted;
  item.canceled = state == QWebEngineDownloadRequest::DownloadCancelled ||
                  state == QWebEngineDownloadRequest::DownloadInterrupted;
  item.received_bytes = request->receivedBytes();
  item.total_bytes = request->totalBytes() > 0 ? request->totalBytes() : -1;
  if (item.total_bytes > 0) item.percent_complete = static_cast<int>(item.received_bytes * 100 / item.total_bytes);
  item.url = request->url().toString().toStdString();
  if (!request->downloadFileName().isEmpty())
    item.full_path = (request->downloadDirectory() + QLatin1Char('/') + request->downloadFileName()).toStdString();
  return item;
}

void Start(QWebEngineDownloadRequest* request) {
  auto* page = qobject_cast<QtPage*>(request->page());
  std::shared_ptr<QtPageHost> browser = page ? page->browser() : nullptr;
  // Only pages of our browsers download; anything else has nobody to ask.
  if (!browser) {
    request->cancel();
    return;
  }
  std::shared_ptr<Client> client = browser->client_ref();
  auto callback = std::make_shared<QtBeforeDownloadCallback>();
  DownloadItem item = Snapshot(request);
  DescribeOrigin(request->url(), item);
  Chains().EndedAsDownload(request->url());
  client->OnBeforeDownload(browser, item, request->suggestedFileName().toStdString(), callback);
  auto item_callback = std::make_shared<QtDownloadItemCallback>(request);
  if (callback->path.empty()) {
    // Refused: its one report says so, as a download cancelled at its
    // first report would.
    request->cancel();
    client->OnDownloadUpdated(browser, Snapshot(request), item_callback);
    return;
  }
  const QFileInfo target(QString::fromStdString(callback->path));
  request->setDownloadDirectory(target.absolutePath());
  request->setDownloadFileName(target.fileName());
  std::weak_ptr<QtPageHost> weak = browser;
  // Completion and cancellation are reported once, whichever signal
  // brings them first.
  auto ended = std::make_shared<bool>(false);
  auto report = [request, client, weak, item_callback, ended] {
    const DownloadItem item = Snapshot(request);
    if (*ended) return;
    *ended = item.complete || item.canceled;
    client->OnDownloadUpdated(weak.lock(), item, item_callback);
  };
  QObject::connect(request, &QWebEngineDownloadRequest::receivedBytesChanged, request, report);
  QObject::connect(request, &QWebEngineDownloadRequest::stateChanged, request, report);
  request->accept();
}

}  // namespace

void NoteFrameNavigation(const QWebEngineUrlRequestInfo& info) {
  const auto type = info.resourceType();
  if (type != QWebEngineUrlRequestInfo::ResourceTypeMainFrame && type != QWebEngineUrlRequestInfo::ResourceTypeSubFrame)
    return;
  Navigation navigation{info.requestUrl(), type, info.initiator(), {}};
  navigation.chain = Chains().Note(static_cast<int>(type), navigation.initiator, navigation.url,
                                   info.navigationType() == QWebEngineUrlRequestInfo::NavigationTypeRedirect,
                                   RedirectChains::Clock::now());
  Remember(std::move(navigation));
}

void ConnectDownloads(QWebEngineProfile* profile) {
  QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile, Start);
}

}  // namespace engine
