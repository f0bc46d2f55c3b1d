#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "channel/channel_list.h"
#include "channel/channel_selector.h"
#include "channel/hosts_file.h"
#include "channel/pinger.h"
#include "engine/encoding.h"
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
      R"([{"domain":"  a.example  ","ip":" 10.0.0.1 "},
          {"domain":"a.example","ip":"10.0.0.2"},
          {"domain":"short.example","ip":"1.2.3"},
          {"domain":"a.example","ip":"abc"},
          {"domain":"b.example","ip":"10.0.0.3"},
          {"domain":"   ","ip":"10.0.0.4"},
          {"ip":"10.0.0.5"},
          {"domain":7,"ip":"10.0.0.6"},
          "not an object",
          {"domain":"c.example","ip":"x0.0.0.1"}])",
      channels, pinned);
  ASSERT_EQ(channels.size(), 2u);
  EXPECT_EQ(channels[0].domain, "a.example");
  EXPECT_EQ(channels[0].addresses, (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "abc"}));
  EXPECT_EQ(channels[1].domain, "b.example");
  EXPECT_EQ(pinned, (std::vector<std::string>{"a.example", "short.example", "b.example", "c.example"}));

  for (const char* document : {"[]", "\"text\"", "42", "{\"domain\":\"a\"}"}) {
    ParseChannelDocument(document, channels, pinned);
    EXPECT_TRUE(channels.empty()) << document;
  }
  EXPECT_TRUE(HasDottedAddressShape("1.2.3.4"));
  EXPECT_FALSE(HasDottedAddressShape("1.2.34"));  // six characters
  EXPECT_FALSE(HasDottedAddressShape(".1.2.3.4"));
  EXPECT_FALSE(HasDottedAddressShape("1.2.3.4a"));
}

TEST(ChannelResponse, EnvelopeCases) {
  std::vector<Channel> channels;
  std::vector<std::string> pinned;
  EXPECT_TRUE(ParseChannelResponse(Envelope(R"([{"domain":"a.example","ip":"10.0.0.1"}])"), channels, pinned));
  ASSERT_EQ(channels.size(), 1u);
  EXPECT_EQ(channels[0].addresses[0], "10.0.0.1");
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
  };
  for (const Case& c : failures) EXPECT_FALSE(ParseChannelResponse(c.body, channels, pinned)) << c.body;
}

TEST(ChannelProbe, BestAddressRule) {
  ChannelSelector selector("/nonexistent", "127.0.0.1:9", nullptr);
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

TEST(HostsFile, KeepAndDropRules) {
  const std::string text =
      "127.0.0.1 localhost\n"
      "\n"
      "# old pin for crm.example\n"
      "10.0.0.9 crm.example\n"
      "10.0.0.8 www.crm.example\n"
      "10.0.0.7 other.example\n"
      "\n\n";
  EXPECT_EQ(KeptHostsLines(text, {"crm.example"}),
            (std::vector<std::string>{"127.0.0.1 localhost\n", "\n", "10.0.0.7 other.example\n"}));
  // A last line without a line end is kept with one.
  EXPECT_EQ(KeptHostsLines("a\nb", {}), (std::vector<std::string>{"a\n", "b\n"}));
  EXPECT_TRUE(KeptHostsLines("", {"x"}).empty());
}

TEST(HostsFile, ReplacedWholeWithModeKept) {
  TempDir dir;
  const std::string path = (dir.path() / "hosts").string();
  WriteFile(path, "127.0.0.1 localhost\n");
  chmod(path.c_str(), 0640);
  ASSERT_TRUE(WriteHostsFile(path, {"127.0.0.1 localhost\n", "10.0.0.1 a.example\n"}));
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n10.0.0.1 a.example\n");
  struct stat status;
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
  // Nothing else is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  EXPECT_FALSE(WriteHostsFile((dir.path() / "missing").string(), {"x\n"}));
}

TEST(HostsFile, SelectorPinsAndUnpins) {
  TempDir dir;
  const std::string path = (dir.path() / "hosts").string();
  const std::string original = "127.0.0.1 localhost\n# keep me\n10.9.9.9 a.example\n";
  WriteFile(path, original);
  int ready = 0;
  {
    ChannelSelector selector(path, "127.0.0.1:9", [&] { ++ready; });
    selector.AddPinnedLine("a.example", "127.0.0.2 a.example\n");
    selector.AddPinnedLine("b.example", "127.0.0.3 b.example\n");
    selector.ApplyHostsLines();
    EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n# keep me\n127.0.0.2 a.example\n127.0.0.3 b.example\n");
  }
  // At the end the pins are gone and every other line is as it was.
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n# keep me\n");
  EXPECT_EQ(ready, 0);
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
  EXPECT_TRUE(Pinger("127.0.0.1", 1, 0, 100).valid());
}

TEST(Echo, LoopbackAnswers) {
  Pinger pinger("127.0.0.1", 2, 0, 2000);
  if (!pinger.Run() && pinger.replies() == 0) GTEST_SKIP() << "no ICMP socket allowed for this user";
  EXPECT_EQ(pinger.replies(), 2);
}

}  // namespace
