#ifndef ENGINE_QT_BROWSER_QT_H_
#define ENGINE_QT_BROWSER_QT_H_

#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>

#include "engine/engine.h"

class QWebEngineProfile;

namespace engine {

class QtBrowser;

// The page of one browser: turns Qt WebEngine's signals and overridables
// into the engine client's callbacks.
class QtPage : public QWebEnginePage {
  Q_OBJECT
 public:
  QtPage(QWebEngineProfile* profile, QObject* parent, std::weak_ptr<QtBrowser> browser);

 protected:
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int line,
                                const QString& source) override;

 private:
  std::weak_ptr<QtBrowser> browser_;
};

// One browser: a QWebEngineView placed in the parent window. Kept alive by
// the engine's live-browser table until OnBeforeClose has been delivered.
class QtBrowser : public Browser, public BrowserHost, public std::enable_shared_from_this<QtBrowser> {
 public:
  QtBrowser(int id, std::shared_ptr<Client> client);

  void Create(const WindowInfo& info, QWebEngineProfile* profile, Color background, const std::string& url);
  Client* client() const { return client_.get(); }
  QWebEnginePage* page() const;

  // Browser
  int GetIdentifier() const override { return id_; }
  std::shared_ptr<Frame> GetMainFrame() override;
  BrowserHost* GetHost() override { return this; }
  bool CanGoBack() const override;
  bool CanGoForward() const override;
  void GoBack() override;
  void GoForward() override;
  void Reload() override;
  void StopLoad() override;

  // BrowserHost
  void CloseBrowser(bool force) override;
  void SetFocus(bool focus) override;
  QWidget* GetWindowHandle() const override { return view_.data(); }

 private:
  void ConnectSignals(QWebEnginePage* page);
  void OnCloseRequested();
  void OnViewDestroyed();

  const int id_;
  std::shared_ptr<Client> client_;
  QPointer<QWebEngineView> view_;
  bool closing_ = false;
};

// Drops the engine's reference to a browser whose close was delivered.
void ReleaseBrowser(int id);

}  // namespace engine

#endif  // ENGINE_QT_BROWSER_QT_H_
