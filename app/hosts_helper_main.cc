// The one program that runs as root: it changes /etc/hosts and the
// firewall for the client, and only in the ways RunHostsHelper allows.
#include <string>
#include <vector>

#include "channel/hosts_pinning.h"
#include "env/logs.h"

int main(int argc, char** argv) {
  // The client logs these lines; root writes no files for the user.
  env::SendProgramLogToStandardError();
  return channel::RunHostsHelper(channel::SystemHostsFiles(), std::vector<std::string>(argv + 1, argv + argc));
}
