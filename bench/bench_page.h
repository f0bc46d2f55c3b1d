#ifndef BENCH_BENCH_PAGE_H_
#define BENCH_BENCH_PAGE_H_

// One page of a benchmark in the client brought up in the benchmark's own
// process: a local server for the page and the main window showing it.

#include <memory>
#include <string>

#include "browser/window_registry.h"
#include "browser/root_window_win.h"
#include "env/product.h"
#include "tests/integration/client_harness.h"

class BenchPage {
 public:
  BenchPage(int argc, char** argv, const std::string& html) : client_(argc, argv) { server_.Serve("/client", html); }
  ~BenchPage() {
    if (!window_) return;
    client_.registry()->CloseAllWindows(true);
    WaitFor([&] { return client_.registry()->window_count() == 0; }, 5000);
  }

  // Opens the main window on the page, which is the service's own start
  // page (the bridge answers only that); true once its text holds |ready|.
  bool Open(const std::string& ready) {
    if (!client_.started()) return false;
    env::SetStartUrlOverride(server_.Url("/client"));
    window_ = client_.registry()->CreateRootWindow(false, false, {0, 0, 1024, 768}, server_.Url("/client"));
    return WaitFor([&] { return Text().find(ready) != std::string::npos; }, 30000);
  }
  // Runs |script| in the page; its text once it holds |marker| (or as it is
  // after |timeout_ms|).
  std::string Run(const std::string& script, const std::string& marker, int timeout_ms) {
    window_->GetBrowser()->GetMainFrame()->ExecuteJavaScript(std::u16string(script.begin(), script.end()), "", 0);
    std::string text;
    WaitFor([&] { return (text = Text()).find(marker) != std::string::npos; }, timeout_ms);
    return text;
  }

 private:
  std::string Text() const {
    auto browser = window_ ? window_->GetBrowser() : nullptr;
    return browser ? FrameText(browser) : std::string();
  }

  RecordingServer server_;
  ClientHarness client_;
  std::shared_ptr<browser::RootWindow> window_;
};

#endif  // BENCH_BENCH_PAGE_H_
