// Cost of the page bridge's synchronous calls: app.getScreenCount() calls
// and one app.copyText() of 10 MiB, timed by the page itself, in the real
// client brought up in this process (engine, main window, page bridge).
// For scale, bare prompt() round trips answered at once by a plain engine
// page shown in a window of the same size: the floor of any synchronous
// call on this machine. The two take turns, ROUNDS times; the medians count.
// Usage: bridge_call_bench [calls [rounds]]   (needs a display: Xvfb is fine)
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_page.h"

namespace {

class BarePromptPage : public QWebEnginePage {
 public:
  using QWebEnginePage::QWebEnginePage;
  bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString* result) override {
    *result = QStringLiteral("1");
    return true;
  }
};

// A plain engine page in a window like the client's.
class BarePrompt {
 public:
  BarePrompt() : page_(&profile_) {
    view_.setPage(&page_);
    view_.resize(1024, 768);
    view_.show();
    QObject::connect(&page_, &QWebEnginePage::loadFinished, [this](bool ok) { loaded_ = ok; });
    page_.setHtml(QStringLiteral("<html><body></body></html>"), QUrl(QStringLiteral("http://127.0.0.1/")));
  }
  ~BarePrompt() { view_.setPage(nullptr); }

  bool Loaded() { return WaitFor([&] { return loaded_; }, 30000); }
  // Microseconds per round trip, or a negative number.
  double Cost(int calls) {
    double per_call = -1;
    page_.runJavaScript(QStringLiteral("(function (n) { var s = performance.now(); for (var i = 0; i < n; ++i) prompt('x');"
                                       " return (performance.now() - s) * 1000 / n; })(%1)")
                            .arg(calls),
                        [&](const QVariant& value) { per_call = value.toDouble(); });
    WaitFor([&] { return per_call >= 0; }, 120000);
    return per_call;
  }

 private:
  QWebEngineProfile profile_;
  BarePromptPage page_;
  QWebEngineView view_;
  bool loaded_ = false;
};

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

constexpr char kPage[] = R"HTML(<html><body><pre id="out">ready</pre><script>
function measure(calls, copy) {
  var start = performance.now();
  for (var i = 0; i < calls; ++i) app.getScreenCount();
  var perCall = (performance.now() - start) * 1000 / calls;
  if (!copy) return 'per_call_us=' + perCall.toFixed(1);
  var text = 'z'.repeat(10 * 1024 * 1024);
  start = performance.now();
  var copied = app.copyText(text);
  return 'copy_10MiB_ms=' + (performance.now() - start).toFixed(0) + ' copied=' + copied;
}
</script></body></html>)HTML";

}  // namespace

int main(int argc, char** argv) {
  engine::MainArgs args{argc, argv};
  if (const int result = engine::ExecuteProcess(args, nullptr); result >= 0) return result;
  const int calls = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  BenchPage page(argc, argv, kPage);
  BarePrompt bare;
  if (!page.Open("ready") || !bare.Loaded()) {
    std::fprintf(stderr, "the pages did not load\n");
    return 1;
  }
  std::vector<double> bridge, prompt;
  for (int round = 0; round < rounds; ++round) {
    const std::string text = page.Run("document.getElementById('out').textContent = 'round " + std::to_string(round) +
                                          " ' + measure(" + std::to_string(calls) + ", false);",
                                      "round " + std::to_string(round) + " per_call_us=", 120000);
    const size_t at = text.find("per_call_us=");
    if (at == std::string::npos) break;
    bridge.push_back(std::atof(text.c_str() + at + 12));
    prompt.push_back(bare.Cost(calls));
  }
  const std::string copy = page.Run("document.getElementById('out').textContent = measure(0, true);", "copied=", 120000);
  const double bridge_us = Median(bridge), prompt_us = Median(prompt);
  std::printf("calls=%d rounds=%zu per_call_us=%.1f engine_prompt_us=%.1f ratio=%.2f %s\n", calls, bridge.size(),
              bridge_us, prompt_us, prompt_us > 0 ? bridge_us / prompt_us : 0.0, copy.c_str());
  return bridge.size() == static_cast<size_t>(rounds) && copy.find("copied=true") != std::string::npos ? 0 : 1;
}
