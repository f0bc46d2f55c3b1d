#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <signal.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "channel/channel_list.h"
#include "channel/channel_selector.h"
#include "channel/curl_library.h"
#include "channel/host_names.h"
#include "channel/hosts_file.h"
#include "channel/hosts_text.h"
#include "channel/hosts_pinning.h"
#include "channel/pinger.h"
#include "engine/encoding.h"
#include "env/logs.h"
#include "platform/process.h"
#include "test_support.h"

using namespace channel;

namespace {


// What the channel service sends for |document|.
std::string Envelope(const std::string& document) {
  std::string scrambled = document;
  Unscramble(scrambled);  // XOR is its own inverse
  return "{\"code\":100,\"data\":\"" + engine::Base64Encode(scrambled) + "\"}";
}

TEST(ChannelBase64, DecoderRules) {
  std::string bytes;
  EXPECT_TRUE(DecodeChannelBase64("aGVsbG8=", bytes));
  EXPECT_EQ(bytes, "hello");
  EXPECT_TRUE(DecodeChannelBase64(" aGVs\r\nbG8\t= = ", bytes));  // whitespace anywhere, "=" and blanks at the end
  EXPECT_EQ(bytes, "hello");
  EXPECT_TRUE(DecodeChannelBase64("aGVsbG8", bytes));  // no padding: the short group is dropped
  EXPECT_EQ(bytes, "hello");
  EXPECT_TRUE(DecodeChannelBase64("a", bytes));  // six bits: nothing
  EXPECT_EQ(bytes, "");
  EXPECT_FALSE(DecodeChannelBase64("aGV*bG8=", bytes));
  EXPECT_FALSE(DecodeChannelBase64("aG=sbG8=", bytes));  // "=" inside
  EXPECT_FALSE(DecodeChannelBase64("aGVs\xC3\xA9", bytes));
  EXPECT_EQ(bytes, "");
}

TEST(ChannelDocument, MergingTrimmingAndShapes) {
  std::vector<Channel> channels;
  std::vector<std::string> pinned;
  ParseChannelDocument(
      R"([{"domain":"  a.example  ","ip":" 45.76.100.1 "},
          {"domain":"a.example","ip":"45.76.100.2"},
          {"domain":"short.example","ip":"1.2.3"},
          {"domain":"a.example","ip":"abc"},
          {"domain":"a.example","ip":"45.76.113.2\n6.6.6.6 bank.example\n#"},
          {"domain":"b.example","ip":"45.76.100.3"},
          {"domain":"   ","ip":"45.76.100.4"},
          {"ip":"45.76.100.5"},
          {"domain":7,"ip":"45.76.100.6"},
          "not an object",
          {"domain":"c.example","ip":"x0.0.0.1"}])",
      channels, pinned);
  ASSERT_EQ(channels.size(), 2u);
  EXPECT_EQ(channels[0].domain, "a.example");
  // Addresses that are not dotted IPv4 are left out, repeated domains too.
  EXPECT_EQ(channels[0].addresses, (std::vector<std::string>{"45.76.100.1", "45.76.100.2"}));
  EXPECT_EQ(channels[1].domain, "b.example");
  EXPECT_EQ(pinned, (std::vector<std::string>{"a.example", "short.example", "b.example", "c.example"}));

  for (const char* document : {"[]", "\"text\"", "42", "{\"domain\":\"a\"}"}) {
    ParseChannelDocument(document, channels, pinned);
    EXPECT_TRUE(channels.empty()) << document;
  }
}

TEST(ChannelDocument, HostileDomainsAreNeitherPinnedNorRemembered) {
  std::vector<Channel> channels;
  std::vector<std::string> pinned;
  ParseChannelDocument(
      R"([{"domain":"1","ip":"45.76.100.1"}, {"domain":"corp","ip":"45.76.100.1"}, {"domain":".","ip":"45.76.100.1"},
          {"domain":"localhost","ip":"45.76.100.1"}, {"domain":"a.localhost","ip":"45.76.100.1"},
          {"domain":"::1","ip":"45.76.100.1"}, {"domain":"45.76.100.9","ip":"45.76.100.1"},
          {"domain":"a.example #x","ip":"45.76.100.1"}, {"domain":"a.example\nb.example","ip":"45.76.100.1"},
          {"domain":"good.example","ip":"45.76.100.1"}])",
      channels, pinned);
  ASSERT_EQ(channels.size(), 1u);
  EXPECT_EQ(pinned, (std::vector<std::string>{"good.example"}));
}

TEST(HostNames, AddressAndDomainRules) {
  const struct {
    const char* text;
    bool address;
  } addresses[] = {
      {"1.2.3.4", true},       {"255.255.255.255", true}, {"0.0.0.0", true},      {"256.1.1.1", false},
      {"1.2.3", false},        {"1.2.3.4.5", false},      {"01.2.3.4", false},    {"1.2.3.4 ", false},
      {" 1.2.3.4", false},     {"1.2.3.4\n", false},      {"1..3.4", false},      {"+1.2.3.4", false},
      {"1.2.3.4#", false},     {"1234.1.1.1", false},     {"", false},            {"a.b.c.d", false},
  };
  for (const auto& a : addresses) EXPECT_EQ(IsDottedIPv4(a.text), a.address) << a.text;
  const struct {
    const char* text;
    bool pinnable;
  } domains[] = {
      {"crm.example", true},    {"a-b.c0.example", true}, {"xn--fsq.example", true}, {"1", false},
      {"corp", false},          {".", false},             {"a..example", false},    {"a.example.", false},
      {"-a.example", false},    {"a-.example", false},    {"1.2.3.4", false},       {"localhost", false},
      {"LOCALHOST", false},     {"x.localhost", false},   {"mylocalhost.example", true},
      {"a b.example", false},   {"a#b.example", false},   {"a_b.example", false},   {"a.example\t", false},
  };
  for (const auto& d : domains) EXPECT_EQ(IsPinnableDomain(d.text), d.pinnable) << d.text;
  EXPECT_FALSE(IsPinnableDomain(std::string(64, 'a') + ".example"));
}

TEST(HostNames, OnlyAddressesAServiceCanHave) {
  for (const char* address : {"8.8.8.8", "45.76.113.7", "45.76.100.1", "100.63.255.255", "172.15.0.1",
                              "172.32.0.1", "223.255.255.254", "1.0.0.0", "192.0.3.0", "203.0.114.1"})
    EXPECT_TRUE(IsServiceAddress(address, {})) << address;
  for (const char* address : {"127.0.0.1", "127.255.0.9", "0.0.0.0", "0.1.2.3", "255.255.255.255", "224.0.0.1",
                              "239.1.1.1", "240.0.0.1", "169.254.1.1", "10.0.0.1", "172.16.0.1", "192.168.1.1",
                              "100.64.0.1", "192.0.0.8", "198.18.0.1", "1.2.3", "127.0.0.1 ",
                              // documentation and the retired 6to4 relay
                              "192.0.2.1", "198.51.100.7", "203.0.113.255", "192.88.99.1"})
    EXPECT_FALSE(IsServiceAddress(address, {})) << address;
  // A build may add ranges for its test service; a malformed one adds none.
  EXPECT_TRUE(IsServiceAddress("127.0.0.2", {"127.0.0.0/8"}));
  EXPECT_TRUE(IsServiceAddress("10.1.2.3", {"x", "10.1.2.3/32"}));
  EXPECT_FALSE(IsServiceAddress("127.0.0.2", {"127.0.0.0/33", "127.0.0.0", "127.0.0.0/", "127.0.0.0/08x", "/8"}));
  EXPECT_TRUE(BuildServiceRanges().empty());

  // Such answers of the channel list are dropped before they are probed.
  std::vector<Channel> channels;
  std::vector<std::string> pinned;
  ParseChannelDocument(R"([{"domain":"a.example","ip":"127.0.0.1"}, {"domain":"a.example","ip":"0.0.0.0"},
                           {"domain":"a.example","ip":"255.255.255.255"}, {"domain":"a.example","ip":"224.0.0.1"},
                           {"domain":"a.example","ip":"192.168.0.1"}, {"domain":"a.example","ip":"45.76.113.5"},
                           {"domain":"b.example","ip":"169.254.0.1"}])",
                       channels, pinned);
  ASSERT_EQ(channels.size(), 1u);
  EXPECT_EQ(channels[0].addresses, (std::vector<std::string>{"45.76.113.5"}));
  EXPECT_EQ(pinned, (std::vector<std::string>{"a.example", "b.example"}));
}

TEST(ChannelResponse, EnvelopeCases) {
  std::vector<Channel> channels;
  std::vector<std::string> pinned;
  EXPECT_TRUE(ParseChannelResponse(Envelope(R"([{"domain":"a.example","ip":"45.76.100.1"}])"), channels, pinned));
  ASSERT_EQ(channels.size(), 1u);
  EXPECT_EQ(channels[0].addresses[0], "45.76.100.1");
  struct Case {
    std::string body;
  } failures[] = {
      {""},
      {"<html>404</html>"},
      {"{\"data\":\"x\"}"},
      {"{\"code\":200,\"data\":\"x\"}"},
      {"{\"code\":100}"},
      {"{\"code\":100,\"data\":\"\"}"},
      {"{\"code\":100,\"data\":\"a*b\"}"},
      {"{\"code\":\"100\",\"data\":\"x\"}"},
      {"[1,2]"},
      {Envelope("[]")},
      // Nesting deeper than the reader's stack limit throws inside it.
      {std::string(100000, '[')},
      {Envelope(std::string(100000, '['))},
  };
  for (const Case& c : failures) EXPECT_FALSE(ParseChannelResponse(c.body, channels, pinned)) << c.body;
}

// Serves one HTTP answer of |body_bytes| bytes on 127.0.0.1, with or
// without a Content-Length, to whoever connects first.
class OneAnswerServer {
 public:
  OneAnswerServer(size_t body_bytes, bool announce_length) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    listen(listener_, 1);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, body_bytes, announce_length] {
      const int client = accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      char request[4096];
      recv(client, request, sizeof(request), 0);
      std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
      if (announce_length) head += "Content-Length: " + std::to_string(body_bytes) + "\r\n";
      head += "\r\n";
      send(client, head.data(), head.size(), MSG_NOSIGNAL);
      const std::string chunk(64 * 1024, '[');
      // The client may hang up early; that ends the answer.
      for (size_t sent = 0; sent < body_bytes; sent += chunk.size())
        if (send(client, chunk.data(), std::min(chunk.size(), body_bytes - sent), MSG_NOSIGNAL) < 0) break;
      close(client);
    });
  }
  ~OneAnswerServer() {
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

 private:
  int listener_;
  int port_ = 0;
  std::thread thread_;
};

TEST(ChannelAnswer, OverAMebibyteIsNotRead) {
  for (bool announced : {true, false}) {
    OneAnswerServer small(1000, announced);
    EXPECT_EQ(HttpGet(small.Url()).size(), 1000u) << announced;
    OneAnswerServer huge(64 * 1024 * 1024, announced);
    EXPECT_EQ(HttpGet(huge.Url()), "") << announced;
  }
}

TEST(ChannelAnswer, LibcurlLoadsOnceWhicheverThreadAsksFirst) {
  std::vector<std::future<const CurlLibrary*>> asks;
  for (int i = 0; i < 4; ++i) asks.push_back(std::async(std::launch::async, Curl));
  const CurlLibrary* first = asks[0].get();
  ASSERT_NE(first, nullptr);
  for (size_t i = 1; i < asks.size(); ++i) EXPECT_EQ(asks[i].get(), first);
  // Loaded beside the program, not into its symbol scope. Another library may
  // bring a libcurl of its own there (Debian 13's libproxy does): not this one.
  void* in_scope = dlsym(RTLD_DEFAULT, "curl_easy_init");
  EXPECT_NE(in_scope, reinterpret_cast<void*>(first->easy_init));
}

TEST(ChannelProbe, BestAddressRule) {
  ChannelSelector selector(std::make_shared<LocalHostsEditor>(HostsFiles{"/nonexistent", "", ""}), "127.0.0.1:9",
                           nullptr);
  {
    ChannelProbe probe(selector, "d", {});
    probe.Report(900, 1, "one-reply");
    probe.Report(500, 2, "two-replies");  // more replies win, whatever the time
    probe.Report(1, 1, "fast-but-one");
    EXPECT_EQ(probe.best_address(), "two-replies");
  }
  {
    ChannelProbe probe(selector, "d", {});
    probe.Report(30, 2, "thirty");
    probe.Report(20, 2, "twenty");
    EXPECT_EQ(probe.best_address(), "twenty");
    probe.Report(0, 2, "zero");  // a total of 0 never wins a tie
    probe.Report(20, 2, "tie");  // a full tie keeps the first
    probe.Report(5, 0, "none");
    EXPECT_EQ(probe.best_address(), "twenty");
  }
}

TEST(Echo, RequestAndReplyChecks) {
  uint8_t request[12];
  BuildEchoRequest(0x1234, 0x5678, 0xCAFEBABE, request);
  EXPECT_EQ(request[0], 8);
  EXPECT_EQ(InternetChecksum(request, 12), 0);  // a valid checksum sums to zero

  // A reply as a raw socket delivers it: a 20-byte IPv4 header first.
  uint8_t reply[32] = {0x45};
  std::memcpy(reply + 20, request, 12);
  reply[20] = 0;  // echo reply
  uint32_t tick = 0;
  int header = 0;
  EXPECT_EQ(CheckEchoReply(reply, 32, true, 0x1234, 0x5678, tick, header), ReplyCheck::kMatch);
  EXPECT_EQ(tick, 0xCAFEBABEu);
  EXPECT_EQ(CheckEchoReply(reply, 32, true, 0x1111, 0x5678, tick, header), ReplyCheck::kIgnore);  // another program's
  EXPECT_EQ(CheckEchoReply(reply, 32, true, 0x1234, 0x9999, tick, header), ReplyCheck::kIgnore);  // another thread's
  EXPECT_EQ(CheckEchoReply(reply, 20, true, 0x1234, 0x5678, tick, header), ReplyCheck::kEndWait);
  // An IP header that claims 60 bytes in a 32-byte datagram is never read past.
  reply[0] = 0x4F;
  EXPECT_EQ(CheckEchoReply(reply, 32, true, 0x1234, 0x5678, tick, header), ReplyCheck::kTooFewBytes);
  EXPECT_EQ(header, 60);
  // A datagram socket delivers the ICMP message alone, identifier the kernel's.
  EXPECT_EQ(CheckEchoReply(reply + 20, 12, false, 0x0001, 0x5678, tick, header), ReplyCheck::kMatch);
  EXPECT_EQ(CheckEchoReply(reply + 20, 11, false, 0x0001, 0x5678, tick, header), ReplyCheck::kEndWait);

  EXPECT_FALSE(Pinger("255.255.255.255", 1, 0, 100).valid());
  EXPECT_FALSE(Pinger("0.0.0.0", 1, 0, 100).valid());
  EXPECT_FALSE(Pinger("abc", 1, 0, 100).valid());
  EXPECT_FALSE(Pinger("45.76.113.2\n6.6.6.6 bank.example\n#", 1, 0, 100).valid());
  EXPECT_TRUE(Pinger("127.0.0.1", 1, 0, 100).valid());
}

TEST(Echo, LoopbackAnswers) {
  Pinger pinger("127.0.0.1", 2, 0, 2000);
  if (!pinger.Run() && pinger.replies() == 0) GTEST_SKIP() << "no ICMP socket allowed for this user";
  EXPECT_EQ(pinger.replies(), 2);
}

}  // namespace
