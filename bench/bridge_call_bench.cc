// Cost of the page bridge's synchronous calls: N app.getScreenCount() calls
// and one app.copyText() of 10 MiB, timed by the page itself, in the real
// client brought up in this process (engine, main window, page bridge).
// Usage: bridge_call_bench [calls]   (needs a display: Xvfb is fine)
#include <cstdio>
#include <string>

#include "app/root_window_registry.h"
#include "browser/root_window_win.h"
#include "tests/integration/client_harness.h"

namespace {

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

  RecordingServer server;
  server.Serve("/client", kPage);
  ClientHarness client(argc, argv);
  if (!client.started()) return 1;
  auto window = client.registry()->CreateRootWindow(false, false, {0, 0, 1024, 768}, server.Url("/client"));
  if (!WaitFor([&] {
        return window->GetBrowser() && FrameText(window->GetBrowser()).find("ready") != std::string::npos;
      }, 30000)) {
    std::fprintf(stderr, "the page did not load\n");
    return 1;
  }
  const std::string script = "document.getElementById('out').textContent = measure(" + std::to_string(calls) + ");";
  window->GetBrowser()->GetMainFrame()->ExecuteJavaScript(std::u16string(script.begin(), script.end()), "", 0);
  std::string result;
  WaitFor([&] {
    result = FrameText(window->GetBrowser());
    return result.find("calls=") != std::string::npos;
  }, 120000);
  std::printf("%s\n", result.c_str());
  client.registry()->CloseAllWindows(true);
  WaitFor([&] { return client.registry()->window_count() == 0; }, 5000);
  return result.find("copied=true") != std::string::npos ? 0 : 1;
}
