// libFuzzer target: whatever arrives on an ICMP socket is checked without
// reading past what was received.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "channel/pinger.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that AddressSanitizer sees any read past the end.
  const std::vector<uint8_t> datagram(data, data + size);
  uint32_t tick = 0;
  int header = 0;
  channel::CheckEchoReply(datagram.data(), datagram.size(), true, 0x1234, 0x5678, tick, header);
  channel::CheckEchoReply(datagram.data(), datagram.size(), false, 0x1234, 0x5678, tick, header);
  return 0;
}
