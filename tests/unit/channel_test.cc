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

// The files of a hosts change kept in |dir|, with "example" and
// "service.test" the pinnable suffixes.
HostsFiles FilesIn(const TempDir& dir) {
  const HostsFiles files{(dir.path() / "hosts").string(), (dir.path() / "pinnable").string(),
                         (dir.path() / "lock").string()};
  WriteFile(files.pinnable_domains, "# ours\nexample\n  service.test  \nnot a domain\n");
  chmod(files.pinnable_domains.c_str(), 0644);
  return files;
}

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

TEST(HostsFile, KeepDropAndMarkRules) {
  const std::string ours = std::string("45.76.100.6 gone.example ") + kPinMarker + "\n";
  const std::string text =
      "127.0.0.1 localhost\n"
      "\n"
      "# old pin for crm.example\n"
      "45.76.100.9 crm.example\n"
      "45.76.100.8 www.crm.example\n"
      "45.76.100.7 other.example\n" +
      ours + "\n\n";
  const HostsLines lines = SplitHostsLines(text, {"crm.example"});
  // Only lines that give the domain itself an address are the domain's:
  // a comment or a name under it is not.
  EXPECT_EQ(lines.kept, (std::vector<std::string>{"127.0.0.1 localhost\n", "\n", "# old pin for crm.example\n",
                                                  "45.76.100.8 www.crm.example\n", "45.76.100.7 other.example\n"}));
  // The user's lines are kept aside; our stale line is simply gone.
  EXPECT_EQ(lines.taken_out, (std::vector<std::string>{"45.76.100.9 crm.example\n"}));
  // A pin of "e.or" once took out a line that merely contained the text.
  const std::string box = "127.0.1.1 box.corp.example.org box\n";
  EXPECT_EQ(SplitHostsLines(box, {"e.or"}).kept, (std::vector<std::string>{box}));
  // Any name of the line counts, in any case, before a comment.
  EXPECT_EQ(SplitHostsLines("45.76.100.1\tBOX.Example.ORG  box # x.example\n", {"box.example.org", "x.example"}).taken_out,
            (std::vector<std::string>{"45.76.100.1\tBOX.Example.ORG  box # x.example\n"}));
  EXPECT_TRUE(SplitHostsLines("45.76.100.1 box # x.example\n", {"x.example"}).taken_out.empty());
  // The address is no name.
  EXPECT_TRUE(SplitHostsLines("x.example y.example\n", {"x.example"}).taken_out.empty());
  // A last line without a line end is kept with one.
  EXPECT_EQ(SplitHostsLines("a\nb", {}).kept, (std::vector<std::string>{"a\n", "b\n"}));
  EXPECT_TRUE(SplitHostsLines("", {"x"}).kept.empty());

  // Only our exact lines are ours; every other byte stays.
  EXPECT_EQ(PinnedHostsLine("45.76.100.6", "gone.example"), ours);
  EXPECT_EQ(WithoutPinnedLines("a\n" + ours + "# " + std::string(kPinMarker) + "\nb"),
            "a\n# " + std::string(kPinMarker) + "\nb");
  EXPECT_FALSE(IsPinnedHostsLine(std::string("6.6.6.6 bank.example x ") + kPinMarker + "\n"));
  EXPECT_EQ(PinnedHostsLine("45.76.113.2\n6.6.6.6 bank.example\n#", "a.example"), "");
  EXPECT_EQ(PinnedHostsLine("45.76.113.2", "corp"), "");
}

TEST(HostsFile, APinTakesOutOnlyItsOwnName) {
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  const std::string marker = std::string(" ") + kPinMarker + "\n";
  const std::string original = "127.0.0.1 localhost crm.example\n10.1.1.1\tfiles.corp  CRM.Example # desk\n";
  WriteFile(files.hosts, original);
  LocalHostsEditor editor(files);
  ASSERT_TRUE(editor.Pin({{"45.76.113.2", "crm.example"}}));
  // The line's other names still resolve while the pin stands.
  EXPECT_EQ(ReadFile(files.hosts),
            "127.0.0.1 localhost\n10.1.1.1\tfiles.corp # desk\n45.76.113.2 crm.example" + marker);
  ASSERT_TRUE(editor.Unpin(std::chrono::seconds(1)));
  EXPECT_EQ(ReadFile(files.hosts), original);

  // Someone else's edit during the run: the lines still become whole where
  // they stand, and a line the user changed meanwhile gets its name back
  // at the end.
  ASSERT_TRUE(editor.Pin({{"45.76.113.2", "crm.example"}}));
  WriteFile(files.hosts, "# added\n" + ReadFile(files.hosts));
  ASSERT_TRUE(editor.Unpin(std::chrono::seconds(1)));
  EXPECT_EQ(ReadFile(files.hosts), "# added\n" + original);
  ASSERT_TRUE(editor.Pin({{"45.76.113.2", "crm.example"}}));
  WriteFile(files.hosts, "127.0.0.1 localhost me\n10.1.1.1\tfiles.corp # desk\n");
  ASSERT_TRUE(editor.Unpin(std::chrono::seconds(1)));
  EXPECT_EQ(ReadFile(files.hosts), "127.0.0.1 localhost me\n10.1.1.1\tfiles.corp  CRM.Example # desk\n"
                                   "127.0.0.1 localhost crm.example\n");
}

TEST(HostsFile, ALinkIsWrittenThroughAndNothingIsCutShort) {
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  const std::string real = (dir.path() / "hosts.real").string();
  WriteFile(real, "127.0.0.1 localhost\n");
  std::filesystem::create_symlink(real, files.hosts);
  LocalHostsEditor editor(files);
  ASSERT_TRUE(editor.Pin({{"45.76.113.2", "a.example"}}));
  EXPECT_TRUE(std::filesystem::is_symlink(files.hosts));
  EXPECT_NE(ReadFile(real).find("45.76.113.2 a.example"), std::string::npos);
  ASSERT_TRUE(editor.Unpin(std::chrono::seconds(1)));
  EXPECT_TRUE(std::filesystem::is_symlink(files.hosts));
  EXPECT_EQ(ReadFile(real), "127.0.0.1 localhost\n");

  // A link into a folder others may write is not followed.
  const std::filesystem::path open_folder = dir.path() / "open";
  std::filesystem::create_directory(open_folder);
  chmod(open_folder.c_str(), 0777);
  WriteFile((open_folder / "hosts").string(), "x\n");
  std::filesystem::remove(files.hosts);
  std::filesystem::create_symlink(open_folder / "hosts", files.hosts);
  EXPECT_FALSE(WriteHostsFile(files.hosts, "y\n"));
  EXPECT_EQ(ReadFile((open_folder / "hosts").string()), "x\n");

  // A file size limit (the caller's, ignored signal and all) once made the
  // copy fail and the file be rewritten in place, and emptied: now the file
  // stays as it was.
  std::filesystem::remove(files.hosts);
  const std::string before = "127.0.0.1\tlocalhost\n127.0.1.1\tdesk\n";
  WriteFile(files.hosts, before);
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{10, 10};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(WriteHostsFile(files.hosts, before + "45.76.113.2 a.example\n") ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadFile(files.hosts), before);
}

// Runs |test| in a child with its own mount namespace; false when it
// failed, skipped (exit 77) when mounts are not allowed here.
int InMountNamespace(const std::function<bool()>& test) {
  const pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(77);
    _exit(test() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(HostsFile, AMountPointIsRewrittenInPlaceAndPutBackWhenThatFails) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root for a mount namespace";
  TempDir dir;
  const std::string path = (dir.path() / "hosts").string();
  const std::string source = (dir.path() / "source").string();
  const std::string before = "127.0.0.1 localhost\n127.0.1.1 desk\n";
  int result = InMountNamespace([&] {
    WriteFile(path, "");
    WriteFile(source, before);
    if (mount(source.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) _exit(77);
    // Shorter, then longer: what the file holds is exactly the new text,
    // and no journal is left.
    const bool shorter = WriteHostsFile(path, "127.0.0.1 localhost\n") && ReadFile(source) == "127.0.0.1 localhost\n";
    const bool longer = WriteHostsFile(path, before + "45.76.113.2 a.example\n") &&
                        ReadFile(source) == before + "45.76.113.2 a.example\n";
    return shorter && longer && !std::filesystem::exists(dir.path() / kJournalFileName);
  });
  if (result == 77) GTEST_SKIP() << "mounts not allowed here";
  EXPECT_EQ(result, 0);

  // The mounted file lies on a full file system: the longer text does not
  // fit, and the old one is back before the change ends.
  result = InMountNamespace([&] {
    const std::string small = (dir.path() / "small").string();
    std::filesystem::create_directory(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=4k") != 0) _exit(77);
    WriteFile(small + "/hosts", before);
    WriteFile(path, "");
    if (mount((small + "/hosts").c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) _exit(77);
    return !WriteHostsFile(path, before + std::string(8000, '#') + "\n") && ReadFile(path) == before &&
           !std::filesystem::exists(dir.path() / kJournalFileName);
  });
  if (result == 77) GTEST_SKIP() << "mounts not allowed here";
  EXPECT_EQ(result, 0);
}

TEST(HostsHelper, TrustsNothingOfItsCaller) {
  // As a caller may leave it: a tiny file size limit, signals ignored or
  // blocked, a standard error that is a full pipe nobody reads.
  int errors[2];
  ASSERT_EQ(pipe(errors), 0);
  fcntl(errors[1], F_SETFL, O_NONBLOCK);
  const std::string block(4096, 'x');
  while (write(errors[1], block.data(), block.size()) > 0) {
  }
  fcntl(errors[1], F_SETFL, 0);
  const pid_t child = fork();
  if (child == 0) {
    close(errors[0]);
    dup2(errors[1], STDERR_FILENO);
    signal(SIGTERM, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGCHLD, SIG_IGN);
    // Only the soft limit: a hard one needs a right root lacks in some
    // containers to be lifted.
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 0;
    setrlimit(RLIMIT_FSIZE, &limit);
    const platform::CallerState caller = platform::TakeOverFromCaller();
    const int kept = caller.errors;
    env::SendProgramLogToStream(kept);
    for (int i = 0; i < 50; ++i) env::WriteProgramLog("a line nobody reads");
    rlimit size{}, core{};
    getrlimit(RLIMIT_FSIZE, &size);
    getrlimit(RLIMIT_CORE, &core);
    struct sigaction term {}, interrupt {}, child_signal {};
    sigaction(SIGTERM, nullptr, &term);
    sigaction(SIGINT, nullptr, &interrupt);
    sigaction(SIGCHLD, nullptr, &child_signal);
    struct stat err {};
    const bool fine = caller.limits_lifted && size.rlim_cur == RLIM_INFINITY && core.rlim_max == 0 && term.sa_handler == SIG_DFL &&
                      interrupt.sa_handler == SIG_IGN && child_signal.sa_handler == SIG_DFL && kept > STDERR_FILENO &&
                      fstat(STDERR_FILENO, &err) == 0 && S_ISCHR(err.st_mode);
    _exit(fine ? 0 : 1);
  }
  close(errors[1]);
  int status = 0;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(waitpid(child, &status, 0), child);
  close(errors[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // One wait for the full stream, then no more.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(HostsFile, ReplacedWholeWithModeKept) {
  TempDir dir;
  const std::string path = (dir.path() / "hosts").string();
  WriteFile(path, "127.0.0.1 localhost\n");
  chmod(path.c_str(), 0640);
  ASSERT_TRUE(WriteHostsFile(path, "127.0.0.1 localhost\n10.0.0.1 a.example\n"));
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n10.0.0.1 a.example\n");
  struct stat status;
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
  // Nothing else is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  EXPECT_FALSE(WriteHostsFile((dir.path() / "missing").string(), "x\n"));
}

TEST(HostsFile, AnInterruptedRewriteIsFinishedFromItsJournal) {
  TempDir dir;
  const std::string path = (dir.path() / "hosts").string();
  WriteFile(path, "127.0.0.1 loc");  // cut short by a crash
  WriteFile((dir.path() / ".veltrocrm-hosts-journal").string(), "127.0.0.1 localhost\n10.0.0.1 a.example\n");
  WriteFile((dir.path() / ".veltrocrm-hosts-Ab12Cd").string(), "half a temporary file");
  WriteFile((dir.path() / "other").string(), "not ours");
  EXPECT_TRUE(RecoverHostsFile(path));
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n10.0.0.1 a.example\n");
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"hosts", "other"}));
  // Nothing to finish: the file stays as it is.
  EXPECT_FALSE(RecoverHostsFile(path));
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n10.0.0.1 a.example\n");
  // A journal that is a link is not followed.
  std::filesystem::create_symlink(dir.path() / "other", dir.path() / ".veltrocrm-hosts-journal");
  EXPECT_FALSE(RecoverHostsFile(path));
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n10.0.0.1 a.example\n");
}

TEST(HostsFile, SelectorPinsAndPutsTheFileBack) {
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  const std::string& path = files.hosts;
  const std::string marker = std::string(" ") + kPinMarker + "\n";
  // The user's own line for a.example, no line end at the end, an empty
  // line at the end: all of it comes back byte for byte.
  const std::string original = "127.0.0.1 localhost\n# keep me\n10.9.9.9 a.example\n\nlast";
  WriteFile(path, original);
  int ready = 0;
  {
    ChannelSelector selector(std::make_shared<LocalHostsEditor>(files), "127.0.0.1:9", [&] { ++ready; });
    selector.AddPinnedLine("a.example", "45.76.113.2");
    selector.AddPinnedLine("b.example", "45.76.113.3");
    selector.AddPinnedLine("c.example", "45.76.113.4\n6.6.6.6 bank.example");  // refused
    selector.AddPinnedLine("corp", "45.76.113.5");                            // refused
    selector.ApplyHostsLines();
    EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n# keep me\n\nlast\n45.76.113.2 a.example" + marker +
                                  "45.76.113.3 b.example" + marker);
  }
  EXPECT_EQ(ReadFile(path), original);
  EXPECT_EQ(ready, 0);

  // Someone else edits the file during the run: their edit stays, ours go,
  // the user's line comes back.
  {
    ChannelSelector selector(std::make_shared<LocalHostsEditor>(files), "127.0.0.1:9", nullptr);
    selector.AddPinnedLine("a.example", "45.76.113.2");
    selector.ApplyHostsLines();
    WriteFile(path, ReadFile(path) + "10.1.1.1 added.example\n");
  }
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n# keep me\n\nlast\n10.1.1.1 added.example\n10.9.9.9 a.example\n");

  // A crashed run's lines are taken out at the next start, whatever their domain.
  WriteFile(path, "127.0.0.1 localhost\n45.76.113.9 old.example" + marker + "tail");
  ChannelSelector(std::make_shared<LocalHostsEditor>(files), "127.0.0.1:9", nullptr).RemoveStaleLines();
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\ntail");

  // A run that crashed after its rewrite left its restore point: the next
  // start puts the user's line back too.
  const std::string before = "127.0.0.1 localhost\n10.9.9.9 a.example\nend";
  const std::string during = "127.0.0.1 localhost\nend\n45.76.113.2 a.example" + marker;
  ASSERT_TRUE(SaveRestorePoint(path, before, during));
  WriteFile(path, during);
  ChannelSelector(std::make_shared<LocalHostsEditor>(files), "127.0.0.1:9", nullptr).RemoveStaleLines();
  EXPECT_EQ(ReadFile(path), before);
  std::string saved_original, saved_written;
  EXPECT_FALSE(LoadRestorePoint(path, saved_original, saved_written));
}

TEST(HostsHelper, RefusesEverythingButItsOwnCommands) {
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  const std::string& path = files.hosts;
  const std::string original = "127.0.0.1 localhost\n10.9.9.9 a.example\n";
  WriteFile(path, original);
  std::vector<std::string> too_many{"pin"};
  for (int i = 0; i < 1025; ++i) too_many.insert(too_many.end(), {"45.76.113.2", "h" + std::to_string(i) + ".example"});
  const std::vector<std::vector<std::string>> refused{
      {}, {"pin"}, {"pin", "45.76.113.2"}, {"pin", "45.76.113.2", "a.example", "45.76.113.3"},
      {"pin", "127.0.0.02", "a.example"}, {"pin", "45.76.113.2", "localhost"}, {"pin", "45.76.113.2", "corp"},
      {"pin", "45.76.113.2", "a.example\n6.6.6.6 bank.example"}, {"pin", "45.76.113.2 b.example", "a.example"},
      // One bad pair spoils the whole command.
      {"pin", "45.76.113.2", "a.example", "6.6.6.6", "-x"}, {"unpin", "/etc/passwd"}, {"allow-call-port", "1"},
      {"PIN", "45.76.113.2", "a.example"}, {"--help"}, too_many};
  for (const auto& arguments : refused) {
    EXPECT_EQ(RunHostsHelper(files, arguments), 2) << ::testing::PrintToString(arguments);
    EXPECT_EQ(ReadFile(path), original);
  }
  EXPECT_FALSE(HostsFileNeedsCleaning(path));

  // Two pins in one run, then unpin: the user's line for a.example is back.
  const std::string marker = std::string(" ") + kPinMarker + "\n";
  EXPECT_EQ(RunHostsHelper(files, {"pin", "45.76.113.2", "a.example"}), 0);
  EXPECT_EQ(RunHostsHelper(files, {"pin", "45.76.113.3", "a.example", "45.76.113.4", "b.example"}), 0);
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n45.76.113.3 a.example" + marker + "45.76.113.4 b.example" + marker);
  EXPECT_TRUE(HostsFileNeedsCleaning(path));
  EXPECT_EQ(RunHostsHelper(files, {"unpin"}), 0);
  EXPECT_EQ(ReadFile(path), original);
  EXPECT_FALSE(HostsFileNeedsCleaning(path));
  // A line of ours alone, without a restore point, also needs cleaning.
  WriteFile(path, original + "45.76.113.9 old.example" + marker);
  EXPECT_TRUE(HostsFileNeedsCleaning(path));
}

TEST(HostsHelper, PinsOnlyTheServicesDomains) {
  TempDir dir;
  HostsFiles files = FilesIn(dir);
  const std::string original = "127.0.0.1 localhost\n";
  WriteFile(files.hosts, original);
  // Once any user of the session could point any domain anywhere.
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"pin", "6.6.6.6", "www.google.com"}, {"pin", "45.76.113.2", "evilservice.test"},
           {"pin", "45.76.113.2", "service.test.evil.com"}, {"pin", "45.76.113.2", "a.example", "6.6.6.6", "www.paypal.com"}}) {
    EXPECT_EQ(RunHostsHelper(files, arguments), 2) << ::testing::PrintToString(arguments);
    EXPECT_EQ(ReadFile(files.hosts), original);
  }
  // The suffix itself, names under it, in any case.
  EXPECT_EQ(RunHostsHelper(files, {"pin", "45.76.113.2", "service.test", "45.76.113.3", "WWW.Service.Test"}), 0);
  EXPECT_EQ(RunHostsHelper(files, {"unpin"}), 0);
  EXPECT_EQ(ReadFile(files.hosts), original);

  // A list anyone but root and its owner could have written, a link, or
  // none at all: nothing may be pinned.
  chmod(files.pinnable_domains.c_str(), 0666);
  EXPECT_EQ(RunHostsHelper(files, {"pin", "45.76.113.2", "a.example"}), 2);
  chmod(files.pinnable_domains.c_str(), 0644);
  const std::string link = (dir.path() / "link").string();
  std::filesystem::create_symlink(files.pinnable_domains, link);
  EXPECT_EQ(RunHostsHelper({files.hosts, link, files.lock}, {"pin", "45.76.113.2", "a.example"}), 2);
  EXPECT_EQ(RunHostsHelper({files.hosts, files.pinnable_domains + ".missing", files.lock}, {"pin", "45.76.113.2", "a.example"}), 2);
  EXPECT_EQ(ReadFile(files.hosts), original);

  // The client asks for nothing the helper would refuse, and a channel
  // list naming a foreign domain gets only the service's pinned.
  const std::string calls = (dir.path() / "calls").string();
  const std::string helper = (dir.path() / "helper").string();
  WriteFile(helper, "#!/bin/sh\necho \"$*\" >> '" + calls + "'\n");
  chmod(helper.c_str(), 0700);
  EXPECT_FALSE(HelperHostsEditor(helper, files).Pin({{"6.6.6.6", "www.paypal.com"}}));
  EXPECT_EQ(ReadFile(calls), "");
  ChannelSelector selector(std::make_shared<LocalHostsEditor>(files), "127.0.0.1:9", nullptr);
  selector.AddPinnedLine("www.paypal.com", "6.6.6.6");
  selector.AddPinnedLine("crm.service.test", "45.76.113.2");
  EXPECT_EQ(selector.pinned_hosts(), (std::vector<PinnedHost>{{"45.76.113.2", "crm.service.test"}}));
}

TEST(HostsHelper, AnotherUserCannotHoldAChangeUp) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  WriteFile(files.hosts, "127.0.0.1 localhost\n");
  chmod(dir.str().c_str(), 0755);
  ASSERT_EQ(RunHostsHelper(files, {"unpin"}), 0);  // makes the lock file
  struct stat lock_status;
  ASSERT_EQ(stat(files.lock.c_str(), &lock_status), 0);
  EXPECT_EQ(lock_status.st_mode & 0777, 0600u);

  // A second user locks everything it can open there, as the attack did
  // with the hosts file's folder, and stays.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t other = fork();
  ASSERT_GE(other, 0);
  if (other == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
    const int folder = open(dir.str().c_str(), O_RDONLY | O_DIRECTORY);
    const bool folder_locked = folder >= 0 && flock(folder, LOCK_EX) == 0;
    const bool lock_opened = open(files.lock.c_str(), O_RDONLY) >= 0;
    const char report = folder_locked && !lock_opened ? 'y' : 'n';
    if (write(ready[1], &report, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char report = 0;
  ASSERT_EQ(read(ready[0], &report, 1), 1);
  close(ready[0]);
  EXPECT_EQ(report, 'y') << "the other user could open the lock, or not lock the folder";
  const auto start = std::chrono::steady_clock::now();
  auto pinned = std::async(std::launch::async, [&] {
    return RunHostsHelper(files, {"pin", "45.76.113.2", "a.example"}) == 0 && RunHostsHelper(files, {"unpin"}) == 0;
  });
  const bool ended = pinned.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
  kill(other, SIGKILL);
  waitpid(other, nullptr, 0);
  EXPECT_TRUE(ended) << "the helper waited for the other user";
  EXPECT_TRUE(pinned.get());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  // A lock file someone else owns is no lock at all: the change is refused.
  ASSERT_EQ(chown(files.lock.c_str(), 65534, 65534), 0);
  EXPECT_EQ(RunHostsHelper(files, {"pin", "45.76.113.2", "a.example"}), 1);
  EXPECT_EQ(ReadFile(files.hosts), "127.0.0.1 localhost\n");
}

TEST(HostsHelper, TheClientStartsItWithTheHostsAsArguments) {
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  const std::string& path = files.hosts;
  const std::string calls = (dir.path() / "calls").string();
  const std::string helper = (dir.path() / "helper").string();
  // Records its arguments; fails when asked to pin b.example.
  WriteFile(helper, "#!/bin/sh\necho \"$*\" >> '" + calls +
                        "'\necho 'a line' >&2\ncase \"$*\" in *b.example*) exit 3;; esac\n");
  chmod(helper.c_str(), 0700);
  WriteFile(path, "127.0.0.1 localhost\n");
  HelperHostsEditor editor(helper, files);
  EXPECT_TRUE(editor.Pin({{"45.76.113.2", "a.example"}, {"45.76.113.3", "c.example"}}));
  EXPECT_FALSE(editor.Pin({{"45.76.113.2", "b.example"}}));
  // A clean file needs no helper, so no password prompt at every start.
  EXPECT_TRUE(editor.Unpin(std::chrono::seconds(10)));
  EXPECT_EQ(ReadFile(calls), "pin 45.76.113.2 a.example 45.76.113.3 c.example\npin 45.76.113.2 b.example\n");
  WriteFile(path, std::string("45.76.113.2 a.example ") + kPinMarker + "\n");
  EXPECT_TRUE(editor.Unpin(std::chrono::seconds(10)));
  EXPECT_EQ(ReadFile(calls), "pin 45.76.113.2 a.example 45.76.113.3 c.example\npin 45.76.113.2 b.example\nunpin\n");
  EXPECT_FALSE(HelperHostsEditor((dir.path() / "missing").string(), files).Unpin(std::chrono::seconds(10)));
  // The exit waits for a helper that does not end no longer than it says.
  const std::string stuck = (dir.path() / "stuck").string();
  WriteFile(stuck, "#!/bin/sh\nexec sleep 30\n");
  chmod(stuck.c_str(), 0700);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(HelperHostsEditor(stuck, files).Unpin(std::chrono::milliseconds(300)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(HostsHelper, AHelperWaitingOnItsPasswordDoesNotHoldTheExit) {
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  WriteFile(files.hosts, "127.0.0.1 localhost\n");
  // pkexec waiting for a password nobody types.
  const std::string started = (dir.path() / "started").string();
  const std::string helper = (dir.path() / "helper").string();
  WriteFile(helper, "#!/bin/sh\ntouch '" + started + "'\nexec sleep 4\n");
  chmod(helper.c_str(), 0700);
  ChannelSelector selector(std::make_shared<HelperHostsEditor>(helper, files), "127.0.0.1:9", nullptr);
  selector.AddPinnedLine("a.example", "45.76.113.2");
  std::thread run([&] { selector.ApplyHostsLines(); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!std::filesystem::exists(started) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(std::filesystem::exists(started));
  // The exit: stop, then take the pins out, within its 2 s.
  const auto start = std::chrono::steady_clock::now();
  selector.Stop();
  selector.RemovePinnedLines();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  run.join();
}

TEST(RunCommand, StatusErrorsAndTimeOut) {
  std::string errors;
  EXPECT_EQ(platform::RunCommand({"/bin/sh", "-c", "echo out; echo oops >&2; exit 3"}, std::chrono::seconds(10), errors), 3);
  EXPECT_EQ(errors, "oops\n");
  EXPECT_EQ(platform::RunCommand({"/nonexistent/program"}, std::chrono::seconds(10), errors), 127);
  // No input: a command reading it sees its end at once.
  EXPECT_EQ(platform::RunCommand({"/bin/sh", "-c", "read x"}, std::chrono::seconds(10), errors), 1);
  // Much output is cut, not waited on.
  EXPECT_EQ(platform::RunCommand({"/bin/sh", "-c", "head -c 1000000 /dev/zero >&2"}, std::chrono::seconds(10), errors), 0);
  EXPECT_EQ(errors.size(), 64u * 1024);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::RunCommand({"/bin/sleep", "30"}, std::chrono::milliseconds(300), errors), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(platform::RunCommand({"/bin/sh", "-c", "kill -9 $$"}, std::chrono::seconds(10), errors), -1);
  // Only a program by absolute path, never one of the working folder's; in
  // "/" and with nothing of the caller's environment.
  TempDir dir;
  const std::string planted = dir.str() + "/resolvectl";
  std::ofstream(planted) << "#!/bin/sh\ntouch " << dir.str() << "/ran\n";
  chmod(planted.c_str(), 0755);
  char* previous = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir.str().c_str()), 0);
  EXPECT_EQ(platform::RunCommand({"resolvectl", "flush-caches"}, std::chrono::seconds(10), errors), -1);
  EXPECT_EQ(platform::RunCommand({"./resolvectl"}, std::chrono::seconds(10), errors), -1);
  EXPECT_EQ(platform::RunCommand({"/bin/sh", "-c", "pwd >&2"}, std::chrono::seconds(10), errors), 0);
  EXPECT_EQ(errors, "/\n");
  ASSERT_EQ(chdir(previous), 0);
  free(previous);
  EXPECT_NE(access((dir.str() + "/ran").c_str(), F_OK), 0) << "the planted program ran";
  setenv("VELTRO_CALLER_CHOICE", "LD_PRELOAD=/tmp/x.so", 1);
  EXPECT_EQ(platform::RunCommand({"/bin/sh", "-c", "env | sort >&2"}, std::chrono::seconds(10), errors), 0);
  unsetenv("VELTRO_CALLER_CHOICE");
  EXPECT_EQ(errors.find("VELTRO_CALLER_CHOICE"), std::string::npos) << errors;
  EXPECT_NE(errors.find("PATH=/usr/sbin:/usr/bin:/sbin:/bin"), std::string::npos) << errors;
  // Root runs the program itself; anyone else goes through pkexec.
  const std::vector<std::string> as_root = platform::AsRoot({"/usr/lib/x/helper", "unpin"});
  if (geteuid() == 0) {
    EXPECT_EQ(as_root, (std::vector<std::string>{"/usr/lib/x/helper", "unpin"}));
  }
}

TEST(HostsFile, AStoppedRunPinsNothing) {
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  const std::string& path = files.hosts;
  WriteFile(path, "127.0.0.1 localhost\n");
  ChannelSelector selector(std::make_shared<LocalHostsEditor>(files), "127.0.0.1:9", nullptr);
  selector.AddPinnedLine("a.example", "45.76.113.2");
  selector.Stop();
  selector.ApplyHostsLines();
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n");

  // A service that takes the connection and never answers: a stopped run
  // gives up instead of waiting out the 5 s time-out.
  SilentServer service;
  ASSERT_NE(service.port(), 0);
  ChannelSelector silent(std::make_shared<LocalHostsEditor>(files), "127.0.0.1:" + std::to_string(service.port()), nullptr);
  silent.Stop();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(silent.FetchChannelList());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
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
