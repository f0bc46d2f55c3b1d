#ifndef BROWSER_MAIN_WINDOW_CALLS_H_
#define BROWSER_MAIN_WINDOW_CALLS_H_

#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "engine/engine.h"
#include "platform/top_level_window.h"
#include "telephony/page_calls.h"

namespace browser {

// The main window's side of the calls: its page as PageCalls sees it, and
// the user told of each call. Only the main window has one; popups and
// other windows get no calls.
class MainWindowCalls : public telephony::CallPage {
 public:
  // |browser| gives the window's browser while it has one; |frame| is the
  // window's frame while it lives.
  MainWindowCalls(std::function<std::shared_ptr<engine::Browser>()> browser,
                  std::function<platform::TopLevelWindow*()> frame);

  telephony::PageCalls& calls() { return calls_; }

  // telephony::CallPage
  std::string ServiceOrigin() const override;
  bool ShowsService() const override;
  void Run(const std::u16string& script, std::function<void(bool)> done) override;
  void RetryLater() override;
  void CallCame(const std::string& number) override;
  void Log(const std::string& line) override;

 private:
  std::function<std::shared_ptr<engine::Browser>()> browser_;
  std::function<platform::TopLevelWindow*()> frame_;
  // Goes with this object: no retry reaches calls that are gone.
  QTimer retry_;
  telephony::PageCalls calls_{*this};
};

}  // namespace browser

#endif  // BROWSER_MAIN_WINDOW_CALLS_H_
