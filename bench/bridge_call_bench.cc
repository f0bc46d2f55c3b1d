// Cost of the page bridge's synchronous calls: N app.getScreenCount() calls
// and one app.copyText() of 10 MiB, timed by the page itself, in the real
// client brought up in this process (engine, main window, page bridge).
// Usage: bridge_call_bench [calls]   (needs a display: Xvfb is fine)
#include <cstdio>
#include <string>

#include "bench/bench_page.h"

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
  BenchPage page(argc, argv, kPage);
  if (!page.Open("ready")) {
    std::fprintf(stderr, "the page did not load\n");
    return 1;
  }
  const std::string result =
      page.Run("document.getElementById('out').textContent = measure(" + std::to_string(calls) + ");", "calls=", 120000);
  std::printf("%s\n", result.c_str());
  return result.find("copied=true") != std::string::npos ? 0 : 1;
}
