#ifndef ENGINE_QT_PAGE_QT_H_
#define ENGINE_QT_PAGE_QT_H_

#include <QAuthenticator>
#include <QWebEnginePage>
#include <memory>

#include "engine/engine.h"

class QWebEngineProfile;

namespace engine {

class QtPageHost;

// The page of one browser: turns Qt WebEngine's signals and overridables
// into the engine client's callbacks.
class QtPage : public QWebEnginePage {
  Q_OBJECT
 public:
  QtPage(QWebEngineProfile* profile, QObject* parent, std::weak_ptr<QtPageHost> browser);
  std::shared_ptr<QtPageHost> browser() const { return browser_.lock(); }

 protected:
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int line,
                                const QString& source) override;
  void javaScriptAlert(const QUrl& origin, const QString& message) override;
  bool javaScriptConfirm(const QUrl& origin, const QString& message) override;
  bool javaScriptPrompt(const QUrl& origin, const QString& message, const QString& default_value,
                        QString* result) override;
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool is_main_frame) override;

 private:
  void AnswerAuthentication(AuthChallenge challenge, QAuthenticator* authenticator);

  std::weak_ptr<QtPageHost> browser_;
};

}  // namespace engine

#endif  // ENGINE_QT_PAGE_QT_H_
