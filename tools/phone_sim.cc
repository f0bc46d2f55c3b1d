// Plays the companion phone app: sends its incoming-call datagram. With
// --hold it plays another program that holds the port instead, until it is
// ended.
//   phone-sim NUMBER [HOST [PORT]]     (default 127.0.0.1 53526)
//   phone-sim --hold [PORT]
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int HoldPort(const char* port) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(std::atoi(port)));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    std::perror("phone-sim: hold");
    return 1;
  }
  std::printf("holding UDP %s\n", port);
  std::fflush(stdout);
  pause();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--hold") return HoldPort(argc > 2 ? argv[2] : "53526");
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: phone-sim NUMBER [HOST [PORT]]\n");
    return 2;
  }
  const std::string datagram = std::string("tel:") + argv[1];
  const char* host = argc > 2 ? argv[2] : "127.0.0.1";
  const char* port = argc > 3 ? argv[3] : "53526";
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, port, &hints, &found) != 0 || !found) {
    std::fprintf(stderr, "phone-sim: cannot resolve %s:%s\n", host, port);
    return 1;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &yes, sizeof(yes));
  const bool sent = fd >= 0 && sendto(fd, datagram.data(), datagram.size(), 0, found->ai_addr, found->ai_addrlen) ==
                                   static_cast<ssize_t>(datagram.size());
  freeaddrinfo(found);
  if (fd >= 0) close(fd);
  if (!sent) {
    std::perror("phone-sim");
    return 1;
  }
  std::printf("sent %s to %s:%s\n", datagram.c_str(), host, port);
  return 0;
}
