#ifndef CHANNEL_PINGER_H_
#define CHANNEL_PINGER_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace channel {

// The 12-byte echo request: type, code, checksum, identifier, sequence
// (host byte order, as the replies echo them) and a millisecond tick.
void BuildEchoRequest(uint16_t identifier, uint16_t sequence, uint32_t tick, uint8_t out[12]);
uint16_t InternetChecksum(const uint8_t* data, size_t length);

enum class ReplyCheck {
  kMatch,        // our echo reply
  kIgnore,       // someone else's ICMP message: keep waiting
  kEndWait,      // too short to be a reply: stop waiting for this echo
  kTooFewBytes,  // shorter than its IP header says: stop waiting, log
};

// Looks at one received datagram without reading past |length|. A raw
// socket delivers the IPv4 header first; an ICMP datagram socket does not,
// and the kernel has already matched the identifier there.
ReplyCheck CheckEchoReply(const uint8_t* data, size_t length, bool with_ip_header, uint16_t identifier,
                          uint16_t sequence, uint32_t& echoed_tick, int& ip_header_length);

// ICMP echo measurements of one IPv4 address.
class Pinger {
 public:
  Pinger(const std::string& dotted_address, int echo_count, int interval_ms, int timeout_ms);

  // True when at least one reply matched.
  bool Run();
  bool valid() const { return valid_; }
  int replies() const { return replies_; }
  uint32_t total_rtt_ms() const { return total_rtt_ms_; }

 private:
  uint32_t address_ = 0;  // network byte order
  bool valid_ = false;
  int echo_count_;
  int interval_ms_;
  int timeout_ms_;
  int replies_ = 0;
  uint32_t total_rtt_ms_ = 0;
};

}  // namespace channel

#endif  // CHANNEL_PINGER_H_
