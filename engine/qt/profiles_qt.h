#ifndef ENGINE_QT_PROFILES_QT_H_
#define ENGINE_QT_PROFILES_QT_H_

#include <QWebEngineUrlRequestInterceptor>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"

class QWebEngineProfile;

namespace engine {

// The engine's profiles, which the client sees as request contexts: the
// global one, one per cache folder and those kept in memory. Made once the
// application is there and gone before it; UI thread. Reachable through
// Get() while it lives.
class QtProfiles {
 public:
  explicit QtProfiles(std::string accept_languages);
  ~QtProfiles();
  QtProfiles(const QtProfiles&) = delete;
  QtProfiles& operator=(const QtProfiles&) = delete;

  static QtProfiles* Get();

  QWebEngineProfile* global() const { return global_; }
  // The profile behind |context|; the global one for any other.
  QWebEngineProfile* ProfileOf(const RequestContext* context) const;
  std::shared_ptr<RequestContext> Create(const RequestContextSettings& settings,
                                         std::shared_ptr<RequestContextHandler> handler);
  std::shared_ptr<RequestContext> SharedWithGlobal(std::shared_ptr<RequestContextHandler> handler);
  void SetGlobalStorage(const std::string& path, bool persist_session_cookies);

 private:
  void Apply(QWebEngineProfile* profile, const std::shared_ptr<RequestContextHandler>& handler);

  const std::string accept_languages_;
  // Outlive their profiles, which do not own them.
  std::map<QWebEngineProfile*, std::unique_ptr<QWebEngineUrlRequestInterceptor>> interceptors_;
  QWebEngineProfile* global_ = nullptr;
  std::map<std::string, QWebEngineProfile*> by_path_;
  std::vector<QWebEngineProfile*> in_memory_;
};

}  // namespace engine

#endif  // ENGINE_QT_PROFILES_QT_H_
