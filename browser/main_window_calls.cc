#include "browser/main_window_calls.h"

#include <utility>

#include "env/logs.h"
#include "env/service_origin.h"
#include "env/product.h"
#include "platform/desktop_services.h"
#include "platform/screen_reader.h"

namespace browser {

namespace {
constexpr int kCallRetryMs = 250;
}  // namespace

MainWindowCalls::MainWindowCalls(std::function<std::shared_ptr<engine::Browser>()> browser,
                                 std::function<platform::TopLevelWindow*()> frame)
    : browser_(std::move(browser)), frame_(std::move(frame)) {
  retry_.setSingleShot(true);
  retry_.setInterval(kCallRetryMs);
  QObject::connect(&retry_, &QTimer::timeout, [this] { calls_.Retry(); });
}

std::string MainWindowCalls::ServiceOrigin() const { return env::WebOrigin(env::StartUrl()); }

bool MainWindowCalls::ShowsService() const {
  auto browser = browser_();
  return browser && env::IsServicePage(browser->GetMainFrame()->GetURL(), env::StartUrl());
}

void MainWindowCalls::Run(const std::u16string& script, std::function<void(bool)> done) {
  auto browser = browser_();
  if (!browser) {
    done(false);
    return;
  }
  browser->GetMainFrame()->EvaluateJavaScript(script, std::move(done));
}

void MainWindowCalls::RetryLater() {
  if (!retry_.isActive()) retry_.start();
}

void MainWindowCalls::CallCame(const std::string& number) {
  // A call must be noticed even when the window is not in front, and heard
  // by someone who does not see the screen.
  platform::TopLevelWindow* frame = frame_();
  platform::RequestAttention(frame);
  platform::AnnounceToScreenReader(frame, telephony::SpokenCallNotice(number));
}

void MainWindowCalls::Log(const std::string& line) { env::WriteProgramLog(line); }

}  // namespace browser
