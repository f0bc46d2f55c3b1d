#include "engine/qt/profiles_qt.h"

#include <QDir>
#include <QWebEngineNotification>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "engine/qt/downloads_qt.h"
#include "engine/qt/request_qt.h"

namespace engine {

namespace {

QtProfiles* g_profiles = nullptr;

// Shows every request of a profile to its context's handler, if it has
// one. Qt 6 runs interceptors on the UI thread.
class QtContextInterceptor : public QWebEngineUrlRequestInterceptor {
 public:
  explicit QtContextInterceptor(std::shared_ptr<RequestContextHandler> handler) : handler_(std::move(handler)) {}
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    // A page's own interceptor is skipped once this one has changed the
    // request, so the navigations are noted here.
    NoteFrameNavigation(info);
    if (!handler_) return;
    QtRequest request(info);
    handler_->OnBeforeResourceLoad(request);
  }

 private:
  std::shared_ptr<RequestContextHandler> handler_;
};

class QtRequestContext : public RequestContext {
 public:
  explicit QtRequestContext(QWebEngineProfile* profile) : profile_(profile) {}
  QWebEngineProfile* profile() const { return profile_; }

 private:
  QWebEngineProfile* profile_;
};

class QtCookieManager : public CookieManager {
 public:
  void SetSupportedSchemes(const std::vector<std::string>&) override {
    // Qt WebEngine stores cookies for http and https only, which is what
    // the product asks for.
  }
  bool SetStoragePath(const std::string& path, bool persist_session_cookies) override {
    if (!g_profiles) return false;
    g_profiles->SetGlobalStorage(path, persist_session_cookies);
    return true;
  }
};

std::function<void(const Notification&)>& Presenter() {
  static std::function<void(const Notification&)> presenter;
  return presenter;
}

// What every profile does from its start: downloads to the clients,
// notifications to the presenter.
QWebEngineProfile* NewProfile(const QString& storage_name) {
  auto* profile = storage_name.isEmpty() ? new QWebEngineProfile() : new QWebEngineProfile(storage_name);
  ConnectDownloads(profile);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  // As before Qt 6.8: the client decides every request; the engine
  // remembers no answer of its own.
  profile->setPersistentPermissionsPolicy(QWebEngineProfile::PersistentPermissionsPolicy::AskEveryTime);
#endif
  profile->setNotificationPresenter([](std::unique_ptr<QWebEngineNotification> shown) {
    if (!Presenter()) return;
    Presenter()({shown->origin().toString().toStdString(), shown->title().toStdU16String(),
                 shown->message().toStdU16String()});
    shown->show();
  });
  return profile;
}

void SetStorage(QWebEngineProfile* profile, const std::string& path, bool persist_session_cookies) {
  if (path.empty()) {
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    return;
  }
  const QString dir = QString::fromStdString(path);
  profile->setPersistentStoragePath(dir);
  profile->setCachePath(QDir(dir).filePath(QStringLiteral("Cache")));
  profile->setPersistentCookiesPolicy(persist_session_cookies ? QWebEngineProfile::ForcePersistentCookies
                                                              : QWebEngineProfile::AllowPersistentCookies);
}

}  // namespace

QtProfiles::QtProfiles(std::string accept_languages) : accept_languages_(std::move(accept_languages)) {
  global_ = NewProfile(QStringLiteral("global"));
  Apply(global_, nullptr);
  g_profiles = this;
}

QtProfiles::~QtProfiles() {
  g_profiles = nullptr;
  for (auto& [path, profile] : by_path_) delete profile;
  for (QWebEngineProfile* profile : in_memory_) delete profile;
  delete global_;
}

QtProfiles* QtProfiles::Get() { return g_profiles; }

QWebEngineProfile* QtProfiles::ProfileOf(const RequestContext* context) const {
  auto* ours = dynamic_cast<const QtRequestContext*>(context);
  return ours ? ours->profile() : global_;
}

std::shared_ptr<RequestContext> QtProfiles::Create(const RequestContextSettings& settings,
                                                   std::shared_ptr<RequestContextHandler> handler) {
  QWebEngineProfile* profile = nullptr;
  if (settings.cache_path.empty()) {
    profile = NewProfile(QString());
    in_memory_.push_back(profile);
  } else if (auto it = by_path_.find(settings.cache_path); it != by_path_.end()) {
    profile = it->second;
  } else {
    profile = NewProfile(QString::number(qHash(QString::fromStdString(settings.cache_path)), 16));
    SetStorage(profile, settings.cache_path, true);
    by_path_[settings.cache_path] = profile;
  }
  Apply(profile, handler);
  return std::make_shared<QtRequestContext>(profile);
}

std::shared_ptr<RequestContext> QtProfiles::SharedWithGlobal(std::shared_ptr<RequestContextHandler> handler) {
  Apply(global_, handler);
  return std::make_shared<QtRequestContext>(global_);
}

void QtProfiles::SetGlobalStorage(const std::string& path, bool persist_session_cookies) {
  SetStorage(global_, path, persist_session_cookies);
}

void QtProfiles::Apply(QWebEngineProfile* profile, const std::shared_ptr<RequestContextHandler>& handler) {
  if (!accept_languages_.empty()) profile->setHttpAcceptLanguage(QString::fromStdString(accept_languages_));
  // The only plug-in this engine carries is its PDF viewer.
  PluginPolicy policy = PLUGIN_POLICY_ALLOW;
  const bool decided = handler && handler->OnBeforePluginLoad("application/pdf", policy);
  const bool allowed = !decided || policy == PLUGIN_POLICY_ALLOW;
  profile->settings()->setAttribute(QWebEngineSettings::PdfViewerEnabled, allowed);
  profile->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, allowed);
  auto interceptor = std::make_unique<QtContextInterceptor>(handler);
  profile->setUrlRequestInterceptor(interceptor.get());
  interceptors_[profile] = std::move(interceptor);
}

std::shared_ptr<RequestContext> RequestContext::CreateContext(const RequestContextSettings& settings,
                                                              std::shared_ptr<RequestContextHandler> handler) {
  return g_profiles ? g_profiles->Create(settings, std::move(handler)) : nullptr;
}

std::shared_ptr<RequestContext> RequestContext::CreateSharedWithGlobal(
    std::shared_ptr<RequestContextHandler> handler) {
  return g_profiles ? g_profiles->SharedWithGlobal(std::move(handler)) : nullptr;
}

std::shared_ptr<CookieManager> CookieManager::GetGlobalManager() { return std::make_shared<QtCookieManager>(); }

void SetNotificationPresenter(std::function<void(const Notification&)> presenter) {
  Presenter() = std::move(presenter);
}

}  // namespace engine
