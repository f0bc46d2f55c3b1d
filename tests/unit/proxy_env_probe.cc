// Reads the desktop's proxy as the client does at start, prints it, then
// changes the environment as the engine's set-up does; dies if the read left
// threads behind that trip over the change.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/desktop_proxy.h"

int main() {
  const platform::DesktopProxy proxy = platform::ReadDesktopProxy();
  std::printf("%s\n", proxy.servers.c_str());
  std::fflush(stdout);
  for (int i = 0; i < 4000; ++i) setenv(("VELTRO_PROBE_" + std::to_string(i)).c_str(), "1", 1);
  return 0;
}
