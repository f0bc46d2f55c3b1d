#ifndef ENGINE_QT_ERROR_SUB_FRAME_QT_H_
#define ENGINE_QT_ERROR_SUB_FRAME_QT_H_

#include <QString>
#include <string>

#include "engine/engine.h"

namespace engine {

// A sub-frame showing the engine's error page, as the client sees it: what
// the client loads into it becomes the reply to the page-side bootstrap.
class QtErrorSubFrame : public Frame {
 public:
  explicit QtErrorSubFrame(std::string failed_url) : failed_url_(std::move(failed_url)) {}
  bool IsMain() const override { return false; }
  std::string GetURL() const override { return failed_url_; }
  void LoadURL(const std::string& url) override { reply_ = QStringLiteral("url\n") + QString::fromStdString(url); }
  void LoadString(const std::u16string& html, const std::string&) override {
    reply_ = QStringLiteral("html\n") + QString::fromStdU16String(html);
  }
  void ExecuteJavaScript(const std::u16string&, const std::string&, int) override {}
  void EvaluateJavaScript(const std::u16string&, std::function<void(bool)> done) override { done(false); }
  void GetText(std::function<void(const std::u16string&)> visitor) override { visitor(std::u16string()); }
  const QString& reply() const { return reply_; }

 private:
  std::string failed_url_;
  QString reply_;
};

}  // namespace engine

#endif  // ENGINE_QT_ERROR_SUB_FRAME_QT_H_
