// Cost of the page bridge's synchronous calls: N app.getScreenCount() calls
// and one app.copyText() of 10 MiB, timed by the page itself, in the real
// client brought up in this process (engine, main window, page bridge).
// For scale, the same number of bare prompt() round trips answered at once
// by a plain engine page: the floor of any synchronous call on this machine.
// Usage: bridge_call_bench [calls]   (needs a display: Xvfb is fine)
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <cstdio>
#include <string>

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

// Microseconds per bare prompt() round trip, or a negative number.
double BarePromptCost(int calls) {
  QWebEngineProfile profile;
  BarePromptPage page(&profile);
  bool loaded = false;
  QObject::connect(&page, &QWebEnginePage::loadFinished, [&](bool ok) { loaded = ok; });
  page.setHtml(QStringLiteral("<html><body></body></html>"), QUrl(QStringLiteral("http://127.0.0.1/")));
  if (!WaitFor([&] { return loaded; }, 30000)) return -1;
  double per_call = -1;
  page.runJavaScript(QStringLiteral("(function (n) { var s = performance.now(); for (var i = 0; i < n; ++i) prompt('x');"
                                    " return (performance.now() - s) * 1000 / n; })(%1)")
                         .arg(calls),
                     [&](const QVariant& value) { per_call = value.toDouble(); });
  WaitFor([&] { return per_call >= 0; }, 120000);
  return per_call;
}

constexpr char kPage[] = R"HTML(<html><body><pre id="out">ready</pre><script>
function measure(calls) {
  var start = performance.now();
  for (var i = 0; i < calls; ++i) app.getScreenCount();
  var perCall = (performance.now() - start) * 1000 / calls;
  var text = 'z'.repeat(10 * 1024 * 1024);
  start = performance.now();
  var copied = app.copyText(text);
  var copyMs = performance.now() - start;
  return 'calls=' + calls + ' per_call_us=' + perCall.toFixed(1) + ' copy_10MiB_ms=' + copyMs.toFixed(0) +
         ' copied=' + copied;
}
</script></body></html>)HTML";

}  // namespace

int main(int argc, char** argv) {
  engine::MainArgs args{argc, argv};
  if (const int result = engine::ExecuteProcess(args, nullptr); result >= 0) return result;
  const int calls = argc > 1 ? std::atoi(argv[1]) : 1000;
  BenchPage page(argc, argv, kPage);
  if (!page.Open("ready")) {
    std::fprintf(stderr, "the page did not load\n");
    return 1;
  }
  const std::string result =
      page.Run("document.getElementById('out').textContent = measure(" + std::to_string(calls) + ");", "calls=", 120000);
  std::printf("%s engine_prompt_us=%.1f\n", result.c_str(), BarePromptCost(calls));
  return result.find("copied=true") != std::string::npos ? 0 : 1;
}
