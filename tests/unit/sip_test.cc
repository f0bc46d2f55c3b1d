#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "env/sign_in.h"
#include "platform/sign_in_dialog.h"
#include "telephony/call_ring.h"
#include "telephony/sip_dialog_info.h"
#include "telephony/sip_dialog_watch.h"

using namespace telephony;

namespace {

// A dialog element as a phone system sends it.
std::string Dialog(const std::string& id, const std::string& direction, const std::string& state,
                   const std::string& identity) {
  return "<dialog id=\"" + id + "\" call-id=\"c" + id + "\" direction=\"" + direction + "\"><state>" + state +
         "</state><remote><identity display=\"Caller\">" + identity +
         "</identity><target uri=\"sip:x@10.0.0.3\"/></remote><local><identity>sip:1001@pbx</identity></local>"
         "</dialog>";
}

std::string Document(const std::string& dialogs) {
  return "<?xml version=\"1.0\"?>\n<dialog-info xmlns=\"urn:ietf:params:xml:ns:dialog-info\" version=\"2\" "
         "state=\"full\" entity=\"sip:1001@pbx\">\n" +
         dialogs + "</dialog-info>\n";
}

std::vector<std::string> Numbers(const std::string& body) {
  std::string problem;
  const auto reading = ReadDialogInfo(body, problem);
  EXPECT_TRUE(reading) << problem;
  std::vector<std::string> numbers;
  if (reading)
    for (const RingingDialog& dialog : reading->ringing) numbers.push_back(dialog.number);
  return numbers;
}

TEST(SipDialogInfo, TakesIncomingCallsNotYetAnswered) {
  // As Kamailio's dialog state sends a call ringing at the extension.
  const std::string kamailio =
      "<?xml version=\"1.0\"?>\n<dialog-info xmlns=\"urn:ietf:params:xml:ns:dialog-info\" version=\"2\" "
      "state=\"full\" entity=\"sip:1001@10.77.0.1\">\n  <dialog id=\"padi-6b19f6b7-6b99-1\" "
      "call-id=\"a5ad541e8fc0fb2e\" local-tag=\"cbc7f716\" remote-tag=\"0e26448c\" direction=\"recipient\">\n"
      "    <state>early</state>\n    <remote>\n      <identity>sip:13800138000@10.77.0.1</identity>\n"
      "      <target uri=\"sip:13800138000-0x55e6@10.77.0.3:5060\"/>\n    </remote>\n    <local>\n"
      "      <identity>sip:1001@10.77.0.1</identity>\n    </local>\n  </dialog>\n</dialog-info>\n";
  EXPECT_EQ(Numbers(kamailio), std::vector<std::string>{"13800138000"});
  EXPECT_EQ(Numbers(Document(Dialog("a", "recipient", "trying", "sip:+8613900139000@pbx") +
                             Dialog("b", "recipient", "proceeding", "tel:0571-8888-0000") +
                             Dialog("c", "initiator", "early", "sip:13700137000@pbx") +
                             Dialog("d", "recipient", "confirmed", "sip:13600136000@pbx") +
                             Dialog("e", "recipient", "terminated", "sip:13500135000@pbx"))),
            (std::vector<std::string>{"13900139000", "057188880000"}));
  // No identity: the target names the caller.
  EXPECT_EQ(Numbers(Document("<dialog id=\"f\" direction=\"recipient\"><state>early</state><remote><target "
                             "uri=\"sip:13400134000@10.0.0.4\"/></remote></dialog>")),
            std::vector<std::string>{"13400134000"});
}

TEST(SipDialogInfo, CallerNumbers) {
  struct Case {
    const char* identity;
    const char* number;  // null: none
  } cases[] = {
      {"sip:13800138000@pbx", "13800138000"},
      {"SIPS:13800138000@pbx;user=phone", "13800138000"},
      {"sip:+86-138-0013-8000@pbx", "13800138000"},
      {"sip:+44(20)7946.0000@pbx", "+442079460000"},
      {"sip:13800138000;phone-context=pbx@pbx", "13800138000"},
      {"tel:+8613800138000", "13800138000"},
      {"sip:alice@pbx", nullptr},
      {"sip:1380013800a@pbx", nullptr},
      {"sip:13800138000", nullptr},  // no host: no user part
      {"sip:@pbx", nullptr},
      {"sip:1+2@pbx", nullptr},
      {"sip:%31%32@pbx", nullptr},
      {"http://13800138000@pbx", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    const auto number = CallerNumberFromIdentity(c.identity);
    if (c.number) EXPECT_EQ(number.value_or("(none)"), c.number) << c.identity;
    else EXPECT_FALSE(number) << c.identity;
  }
  EXPECT_TRUE(CallerNumberFromIdentity("sip:" + std::string(kMostCallerNumberDigits, '1') + "@pbx"));
  EXPECT_FALSE(CallerNumberFromIdentity("sip:" + std::string(200, '1') + "@pbx"));
}

TEST(SipDialogInfo, HostileDocumentsAreRefusedWhole) {
  const std::string ringing = Dialog("a", "recipient", "early", "sip:13800138000@pbx");
  std::string deep = "<dialog-info>";
  for (int i = 0; i < 100000; ++i) deep += "<x>";
  const std::string cases[] = {
      Document(ringing).substr(0, 200),                                      // cut short
      "<other>" + ringing + "</other>",                                      // no dialog-info
      "<!DOCTYPE d [<!ENTITY a \"13800138000\">]><dialog-info>" + ringing + "</dialog-info>",
      Document(Dialog("a", "recipient", "early", "sip:&a;@pbx")),            // an entity
      deep,
      Document(ringing) + std::string(kMostDialogInfoBytes, ' '),           // too big
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><dialog-info>\xff\xfe</dialog-info>",  // not UTF-8
      "",
  };
  for (const std::string& body : cases) {
    std::string problem;
    EXPECT_FALSE(ReadDialogInfo(body, problem)) << body.substr(0, 120);
    EXPECT_FALSE(problem.empty());
  }
  std::string many;
  for (size_t i = 0; i <= kMostDialogsInDocument; ++i) many += "<dialog id=\"" + std::to_string(i) + "\"/>";
  std::string problem;
  EXPECT_FALSE(ReadDialogInfo(Document(many), problem));
  EXPECT_NE(problem.find("dialogs"), std::string::npos);
}

TEST(SipDialogInfo, DialogsThatAreNoCallAreNoted) {
  std::string problem;
  const auto reading = ReadDialogInfo(
      Document(Dialog("a", "recipient", "early", "sip:alice@pbx") + Dialog("", "recipient", "early", "sip:1@pbx") +
               Dialog("c", "recipient", "early", "sip:" + std::string(2000, '1') + "@pbx")),
      problem);
  ASSERT_TRUE(reading) << problem;
  EXPECT_TRUE(reading->ringing.empty());
  ASSERT_EQ(reading->notes.size(), 3u);
  for (const std::string& note : reading->notes) EXPECT_EQ(note.find("alice"), std::string::npos) << note;
}

// The calls of a ringing dialog are announced once, however often the
// phone system repeats its state, and at most a ring's worth per body.
TEST(SipRingingCalls, EachCallOnceAndAtMostARingAtOnce) {
  SipCallTable table;
  std::vector<uintptr_t> announced;
  SipRingingCalls calls(table, [&](uintptr_t a) {
    announced.push_back(a);
    return false;  // nobody reads them: the ring does not wait
  });
  const auto never = [] { return false; };
  const std::string first = Document(Dialog("a", "recipient", "early", "sip:13800138000@pbx"));
  EXPECT_EQ(calls.Take(first, never), 1u);
  EXPECT_EQ(calls.Take(first, never), 0u);
  EXPECT_EQ(calls.Take(Document(Dialog("a", "recipient", "early", "sip:13800138000@pbx") +
                                Dialog("b", "recipient", "early", "sip:13900139000@pbx")),
                       never),
            1u);
  EXPECT_EQ(calls.Take("<broken", never), 0u);
  ASSERT_EQ(announced.size(), 2u);
  std::string number;
  EXPECT_TRUE(table.TakeForDelivery(announced[1] & 0xFF, announced[1] >> 8, number));
  EXPECT_EQ(number, "13900139000");

  std::string flood;
  for (int i = 0; i < 1000; ++i) flood += Dialog("f" + std::to_string(i), "recipient", "early", "sip:1500015" + std::to_string(1000 + i) + "@pbx");
  EXPECT_EQ(calls.Take(Document(flood), never), kCallSlots);
  EXPECT_LE(calls.Take(Document(flood), never), kCallSlots);
  // A busy extension's state, repeated: nothing new.
  std::string dialogs;
  for (int i = 0; i < 20; ++i) dialogs += Dialog("busy" + std::to_string(i), "recipient", "early", "sip:1600016000@pbx");
  EXPECT_EQ(calls.Take(Document(dialogs), never), kCallSlots);
  EXPECT_EQ(calls.Take(Document(dialogs), never), 0u);
}

TEST(SipAccountSettings, CheckedBeforeUse) {
  std::string problem;
  const auto account = MakeSipAccount("pbx.example.com:5080", "1001", "", problem);
  ASSERT_TRUE(account) << problem;
  EXPECT_EQ(account->user, "1001");
  EXPECT_EQ(account->ServerUri(), "sip:pbx.example.com:5080");
  EXPECT_TRUE(MakeSipAccount("10.0.0.1", "1001", "agent.7", problem));
  for (const auto& [server, extension, user] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"", "1001", ""},
           {"pbx;transport=tcp", "1001", ""},
           {"pbx:0", "1001", ""},
           {"pbx:70000", "1001", ""},
           {"pbx:50x", "1001", ""},
           {"pbx", "", ""},
           {"pbx", "10 01", ""},
           {"pbx", "1001@evil", ""},
           {"pbx", "1001", "a:b"},
           {"pbx", std::string(65, '1'), ""},
       }) {
    EXPECT_FALSE(MakeSipAccount(server, extension, user, problem)) << server << " " << extension << " " << user;
    EXPECT_FALSE(problem.empty());
  }
}

TEST(SipRetry, BacksOffToAMinuteAndStartsOverOnSuccess) {
  SipRetry retry;
  std::vector<long> waits;
  for (int i = 0; i < 9; ++i) waits.push_back(retry.Next().count());
  EXPECT_EQ(waits, (std::vector<long>{1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000}));
  retry.Reset();
  EXPECT_EQ(retry.Next().count(), 1000);
}

}  // namespace

namespace {

// A phone system on a UDP port of 127.0.0.1, as far as the watch needs one:
// it reads the client's requests and answers or sends what a test says.
class FakePbx {
 public:
  FakePbx() {
    socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~FakePbx() { close(socket_); }
  std::string server() const { return "127.0.0.1:" + std::to_string(port_); }

  // The next request of METHOD within |wait| (responses and others skipped).
  std::string Next(const std::string& method, std::chrono::milliseconds wait = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd poll_fd{socket_, POLLIN, 0};
      if (poll(&poll_fd, 1, 100) <= 0) continue;
      char buffer[65536];
      socklen_t length = sizeof(peer_);
      const ssize_t got = recvfrom(socket_, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr*>(&peer_), &length);
      if (got > 0 && std::string(buffer, got).rfind(method + " ", 0) == 0) return std::string(buffer, got);
    }
    return std::string();
  }
  static std::string Header(const std::string& message, const std::string& name) {
    const size_t at = message.find("\r\n" + name + ":");
    if (at == std::string::npos) return std::string();
    const size_t start = message.find_first_not_of(' ', at + name.size() + 3);
    return message.substr(start, message.find("\r\n", start) - start);
  }
  void Answer(const std::string& request, const std::string& status, const std::string& extra = "") {
    Send("SIP/2.0 " + status + "\r\nVia: " + Header(request, "Via") + "\r\nFrom: " + Header(request, "From") +
         "\r\nTo: " + Header(request, "To") + ";tag=pbx\r\nCall-ID: " + Header(request, "Call-ID") +
         "\r\nCSeq: " + Header(request, "CSeq") + "\r\n" + extra + "Content-Length: 0\r\n\r\n");
  }
  void Notify(const std::string& subscribe, const std::string& body, const std::string& state = "active;expires=600") {
    const std::string contact = Header(subscribe, "Contact");
    const std::string target = contact.substr(contact.find('<') + 1, contact.find_first_of(">;") - contact.find('<') - 1);
    ++cseq_;
    Send("NOTIFY " + target + " SIP/2.0\r\nVia: SIP/2.0/UDP " + server() + ";branch=z9hG4bK" + std::to_string(cseq_) +
         "\r\nMax-Forwards: 70\r\nFrom: " + Header(subscribe, "To") + ";tag=pbx\r\nTo: " + Header(subscribe, "From") +
         "\r\nCall-ID: " + Header(subscribe, "Call-ID") + "\r\nCSeq: " + std::to_string(cseq_) +
         " NOTIFY\r\nContact: <sip:" + server() + ">\r\nEvent: dialog\r\nSubscription-State: " + state +
         "\r\nContent-Type: application/dialog-info+xml\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
         body);
  }

 private:
  void Send(const std::string& message) {
    sendto(socket_, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&peer_), sizeof(peer_));
  }
  int socket_ = -1;
  uint16_t port_ = 0;
  sockaddr_in peer_{};
  int cseq_ = 0;
};

bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

// What the watch announced, as its thread hands it over.
struct Announced {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> numbers;
  bool Wait(size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] { return numbers.size() >= count; });
  }
};

// The watch against a server that challenges: the first password is
// refused and asked again, the second signs in; the call in its NOTIFY is
// announced once, and the unsubscribe comes when capture closes.
TEST(SipDialogWatch, SignsInSubscribesAnnouncesAndUnsubscribes) {
  FakePbx pbx;
  env::ForgetSessionCredentialsForTesting();
  Announced announced;
  std::vector<platform::SignInRequest> asked;
  platform::SetSignInAnswererForTesting([&](const platform::SignInRequest& request) {
    std::lock_guard<std::mutex> lock(announced.mutex);
    asked.push_back(request);
    return std::optional<platform::SignInAnswer>(
        platform::SignInAnswer{"1001", asked.size() == 1 ? "wrong" : "right", false});
  });
  SipDialogWatch watch(SipAccount{pbx.server(), "1001", "agent"}, [&](uintptr_t announcement) {
    std::string number;
    GetSipCallTable().TakeForDelivery(announcement & 0xFF, announcement >> 8, number);
    std::lock_guard<std::mutex> lock(announced.mutex);
    announced.numbers.push_back(number);
    announced.changed.notify_all();
    return false;
  });
  ASSERT_TRUE(watch.Start());
  watch.Watch(true);
  const std::string challenge = "Proxy-Authenticate: Digest realm=\"pbx\", nonce=\"n1\", algorithm=MD5\r\n";
  std::string subscribe = pbx.Next("SUBSCRIBE");
  ASSERT_FALSE(subscribe.empty());
  EXPECT_EQ(FakePbx::Header(subscribe, "Event"), "dialog");
  EXPECT_NE(subscribe.find("sip:1001@"), std::string::npos);
  EXPECT_NE(FakePbx::Header(subscribe, "From").find("sip:agent@"), std::string::npos);
  pbx.Answer(subscribe, "407 Proxy Authentication Required", challenge);
  subscribe = pbx.Next("SUBSCRIBE");
  EXPECT_NE(FakePbx::Header(subscribe, "Proxy-Authorization").find("username=\"1001\""), std::string::npos);
  pbx.Answer(subscribe, "407 Proxy Authentication Required", challenge);
  subscribe = pbx.Next("SUBSCRIBE");
  {
    std::lock_guard<std::mutex> lock(announced.mutex);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_TRUE(asked[1].refused);
    EXPECT_EQ(asked[1].realm, "pbx");
  }
  pbx.Answer(subscribe, "202 Accepted", "Expires: 600\r\nContact: <sip:" + pbx.server() + ">\r\n");
  const std::string ringing = Document(Dialog("x1", "recipient", "early", "sip:13800138000@pbx"));
  pbx.Notify(subscribe, ringing);
  pbx.Notify(subscribe, ringing);
  ASSERT_TRUE(announced.Wait(1));
  watch.Watch(false);
  const std::string unsubscribe = pbx.Next("SUBSCRIBE");
  EXPECT_EQ(FakePbx::Header(unsubscribe, "Expires"), "0");
  pbx.Answer(unsubscribe, "200 OK");
  const auto before = std::chrono::steady_clock::now();
  watch.Stop();
  // Ended cleanly, not by the wait for a server gone quiet.
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
  EXPECT_EQ(announced.numbers, std::vector<std::string>{"13800138000"});
  platform::SetSignInAnswererForTesting(nullptr);
  env::ForgetSessionCredentialsForTesting();
}

// A sign-in the user declines is not asked again every minute: the watch
// waits until the page opens capture anew.
TEST(SipDialogWatch, ADeclinedSignInWaitsForCaptureOpenedAgain) {
  FakePbx pbx;
  env::ForgetSessionCredentialsForTesting();
  std::atomic<int> asked{0};
  platform::SetSignInAnswererForTesting([&](const platform::SignInRequest&) {
    ++asked;
    return std::optional<platform::SignInAnswer>();
  });
  SipDialogWatch watch(SipAccount{pbx.server(), "1001", "1001"}, [](uintptr_t) { return false; });
  ASSERT_TRUE(watch.Start());
  watch.Watch(true);
  const std::string challenge = "WWW-Authenticate: Digest realm=\"pbx\", nonce=\"n1\"\r\n";
  std::string subscribe = pbx.Next("SUBSCRIBE");
  ASSERT_FALSE(subscribe.empty());
  pbx.Answer(subscribe, "401 Unauthorized", challenge);
  // A back-off would try again after a second.
  EXPECT_TRUE(pbx.Next("SUBSCRIBE", std::chrono::milliseconds(2500)).empty());
  EXPECT_EQ(asked, 1);
  watch.Watch(false);
  env::AskSignInAgain();
  watch.Watch(true);
  subscribe = pbx.Next("SUBSCRIBE");
  ASSERT_FALSE(subscribe.empty());
  pbx.Answer(subscribe, "401 Unauthorized", challenge);
  EXPECT_TRUE(WaitUntil([&] { return asked == 2; }));
  watch.Stop();
  platform::SetSignInAnswererForTesting(nullptr);
  env::ForgetSessionCredentialsForTesting();
}

}  // namespace
