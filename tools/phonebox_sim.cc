// Drives the simulated phone box of a running client:
//   phonebox-sim plug | unplug | ring NUMBER | device-error | channels N |
//                no-callerid CHANNEL | callerid CHANNEL | fail-open CODE|off | status
#include <cstdio>
#include <string>

#include "phonebox/control_socket.h"

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) == "--help") {
    std::fprintf(stderr,
                 "usage: phonebox-sim plug | unplug | ring NUMBER | device-error | channels N |\n"
                 "                    no-callerid CHANNEL | callerid CHANNEL | fail-open CODE|off | status\n"
                 "The client's simulated box takes commands once the page has opened landline capture.\n");
    return 2;
  }
  std::string command = argv[1];
  for (int i = 2; i < argc; ++i) command += std::string(" ") + argv[i];
  if (command.find('\n') != std::string::npos) {
    std::fprintf(stderr, "phonebox-sim: one line only\n");
    return 2;
  }
  std::string reply;
  const std::string path = phonebox::ControlSocketPath();
  if (!phonebox::SendControlCommand(path, command, reply)) {
    std::fprintf(stderr, "phonebox-sim: no simulated phone box answers at %s (is the client running, "
                         "and has the page opened landline capture?)\n", path.c_str());
    return 1;
  }
  std::printf("%s\n", reply.c_str());
  return reply.rfind("ok", 0) == 0 ? 0 : 1;
}
