#ifndef ENGINE_QT_REQUEST_INTERCEPTOR_QT_H_
#define ENGINE_QT_REQUEST_INTERCEPTOR_QT_H_

#include <QWebEngineUrlRequestInterceptor>
#include <memory>

namespace engine {

class QtBrowser;

// Adds what the client wants to every request of one page.
class QtRequestInterceptor : public QWebEngineUrlRequestInterceptor {
 public:
  explicit QtRequestInterceptor(std::weak_ptr<QtBrowser> browser) : browser_(std::move(browser)) {}
  void interceptRequest(QWebEngineUrlRequestInfo& info) override;

 private:
  std::weak_ptr<QtBrowser> browser_;
};

}  // namespace engine

#endif  // ENGINE_QT_REQUEST_INTERCEPTOR_QT_H_
