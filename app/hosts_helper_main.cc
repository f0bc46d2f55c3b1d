// The one program that runs as root: it changes /etc/hosts and the
// firewall for the client, and only in the ways RunHostsHelper allows.
#include <string>
#include <vector>

#include "channel/hosts_pinning.h"
#include "env/logs.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  // First of all: whoever may start this program chose its limits, signals
  // and streams.
  const platform::CallerState caller = platform::TakeOverFromCaller();
  // The client logs these lines; root writes no files for the user.
  env::SendProgramLogToStream(caller.errors);
  if (!caller.limits_lifted) {
    env::WriteProgramLog("refused: the caller's limits could not be lifted");
    return 1;
  }
  return channel::RunHostsHelper(channel::SystemHostsFiles(), std::vector<std::string>(argv + 1, argv + argc));
}
