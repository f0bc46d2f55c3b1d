#include "channel/pinger.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "channel/host_names.h"
#include "env/logs.h"

namespace channel {

namespace {

uint32_t TickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

void LogFormatted(const char* format, int value) {
  char text[96];
  snprintf(text, sizeof(text), format, value);
  env::WriteProgramLog(std::string(text));
}

bool IsTimeout(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == ETIMEDOUT; }

// A raw socket needs root or CAP_NET_RAW; an ICMP datagram socket is what
// Linux gives everybody else (within net.ipv4.ping_group_range).
int OpenIcmpSocket(bool& with_ip_header) {
  int fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
  with_ip_header = fd >= 0;
  if (fd < 0) fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  return fd;
}

// Every raw ICMP socket gets a copy of every ICMP message of the machine.
// With hundreds of measurements at once, that floods their queues; let the
// kernel keep only the echo replies of this measurement's sequence.
void KeepOnlyOurReplies(int fd, uint16_t sequence) {
  const uint32_t sequence_as_loaded = static_cast<uint32_t>(((sequence & 0xFF) << 8) | (sequence >> 8));
  sock_filter code[] = {
      BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),                  // X = IP header length
      BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),                   // A = ICMP type
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 0, 3),            // not an echo reply: drop
      BPF_STMT(BPF_LD | BPF_H | BPF_IND, 6),                   // A = sequence field
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, sequence_as_loaded, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, 0xFFFF),                       // keep
      BPF_STMT(BPF_RET | BPF_K, 0),                            // drop
  };
  sock_fprog program{static_cast<unsigned short>(sizeof(code) / sizeof(code[0])), code};
  // Without the filter the replies are still matched below, only slower.
  setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof(program));
}

}  // namespace

uint16_t InternetChecksum(const uint8_t* data, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < length; i += 2) sum += static_cast<uint32_t>(data[i] | (data[i + 1] << 8));
  if (length % 2) sum += data[length - 1];
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

void BuildEchoRequest(uint16_t identifier, uint16_t sequence, uint32_t tick, uint8_t out[12]) {
  std::memset(out, 0, 12);
  out[0] = 8;
  std::memcpy(out + 4, &identifier, 2);
  std::memcpy(out + 6, &sequence, 2);
  std::memcpy(out + 8, &tick, 4);
  const uint16_t checksum = InternetChecksum(out, 12);
  std::memcpy(out + 2, &checksum, 2);
}

ReplyCheck CheckEchoReply(const uint8_t* data, size_t length, bool with_ip_header, uint16_t identifier,
                          uint16_t sequence, uint32_t& echoed_tick, int& ip_header_length) {
  size_t offset = 0;
  ip_header_length = 0;
  if (with_ip_header) {
    if (length <= 20) return ReplyCheck::kEndWait;
    ip_header_length = (data[0] & 0x0F) * 4;
    offset = static_cast<size_t>(ip_header_length);
  }
  if (length < offset + 12) return with_ip_header ? ReplyCheck::kTooFewBytes : ReplyCheck::kEndWait;
  const uint8_t* icmp = data + offset;
  uint16_t reply_identifier, reply_sequence;
  std::memcpy(&reply_identifier, icmp + 4, 2);
  std::memcpy(&reply_sequence, icmp + 6, 2);
  if (icmp[0] != 0 || reply_sequence != sequence || (with_ip_header && reply_identifier != identifier))
    return ReplyCheck::kIgnore;
  std::memcpy(&echoed_tick, icmp + 8, 4);
  return ReplyCheck::kMatch;
}

Pinger::Pinger(const std::string& dotted_address, int echo_count, int interval_ms, int timeout_ms)
    : echo_count_(echo_count), interval_ms_(interval_ms), timeout_ms_(timeout_ms) {
  // The whole text must be the address: inet_aton would stop at a blank or
  // line feed and take what follows for nothing.
  in_addr parsed{};
  valid_ = IsDottedIPv4(dotted_address) && inet_pton(AF_INET, dotted_address.c_str(), &parsed) == 1 &&
           parsed.s_addr != INADDR_NONE && parsed.s_addr != INADDR_ANY;
  address_ = parsed.s_addr;
}

bool Pinger::Run() {
  if (!valid_) {
    env::WriteProgramLog("无效IP地址");
    return false;
  }
  bool with_ip_header = false;
  const int fd = OpenIcmpSocket(with_ip_header);
  if (fd < 0) {
    env::WriteProgramLog("ping Ip时，创建socket失败 ");
    return false;
  }
  timeval timeout{timeout_ms_ / 1000, (timeout_ms_ % 1000) * 1000};
  if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout)) != 0) {
    env::WriteProgramLog("ping Ip时，设置接受超时失败");
    close(fd);
    return false;
  }
  if (setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout)) != 0) {
    env::WriteProgramLog("ping Ip时，设置发送超时失败");
    close(fd);
    return false;
  }
  const uint16_t identifier = static_cast<uint16_t>(getpid() & 0xFFFF);
  const uint16_t sequence = static_cast<uint16_t>(syscall(SYS_gettid) & 0xFFFF);
  if (with_ip_header) {
    KeepOnlyOurReplies(fd, sequence);
    // What the socket queued before its filter took effect (copies of every
    // ICMP message of the machine) would fill its buffer and crowd out our
    // reply; nothing of ours has been sent yet.
    uint8_t queued[1024];
    while (recv(fd, queued, sizeof(queued), MSG_DONTWAIT) > 0) {
    }
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address_;

  for (int cycle = 0; cycle < echo_count_; ++cycle) {
    uint8_t request[12];
    BuildEchoRequest(identifier, sequence, TickCount(), request);
    if (sendto(fd, request, sizeof(request), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to)) < 0) {
      if (IsTimeout(errno)) continue;
      LogFormatted("send error code:%d(when ping)", errno);
    }
    uint8_t buffer[1024];
    for (;;) {
      const ssize_t received = recv(fd, buffer, sizeof(buffer), 0);
      if (received < 0) {
        if (!IsTimeout(errno)) LogFormatted("recevie error code:%d(when ping)", errno);
        break;
      }
      uint32_t echoed = 0;
      int header = 0;
      const ReplyCheck check = CheckEchoReply(buffer, static_cast<size_t>(received), with_ip_header, identifier,
                                              sequence, echoed, header);
      if (check == ReplyCheck::kIgnore) continue;
      if (check == ReplyCheck::kTooFewBytes) LogFormatted("too few bytes,ip header length:%d", header);
      if (check == ReplyCheck::kMatch) {
        ++replies_;
        const uint32_t now = TickCount();
        if (now > echoed) total_rtt_ms_ += now - echoed;
      }
      break;
    }
    if (interval_ms_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(interval_ms_));
  }
  close(fd);
  return replies_ > 0;
}

}  // namespace channel
