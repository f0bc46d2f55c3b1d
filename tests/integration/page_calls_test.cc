// The road of a call to the page, in the real engine: the mobile
// listener, capture on and off, reloads and loads under way.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <thread>
#include <utility>

#include <QClipboard>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/app_context.h"
#include "browser/window_registry.h"
#include "browser/root_window_win.h"
#include "env/product.h"
#include "platform/message_box.h"
#include "renderer/renderer_process_app.h"
#include "telephony/mobile_call_listener.h"
#include "browser/browser_event_handler.h"
#include "page_bridge_fixture.h"

namespace {

TEST_F(PageBridge, MobileCallsReachPhoneCall) {
  // Another program holds the port without sharing it: the user is told
  // which, and a later open tries again.
  const int blocker = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(telephony::kMobileCallPort);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0)
      << "UDP " << telephony::kMobileCallPort << " is taken by another program on this machine";
  EXPECT_EQ(Evaluate("kestrin.openIncomingNotify()"), "false");
  ASSERT_TRUE(WaitFor([&] { return !boxes.empty(); }, 10000));
  EXPECT_EQ(boxes[0].caption, "提示");
  EXPECT_EQ(boxes[0].text.rfind("请关闭以下应用后，再次启动手机捕捉功能\n\n", 0), 0u) << boxes[0].text;
  EXPECT_NE(boxes[0].text.find("veltro_integrat"), std::string::npos) << boxes[0].text;
  // The page is never told capture works while the calls may go to
  // whoever holds the port: once the user has been told, the next open
  // tries again and answers for itself.
  ASSERT_TRUE(WaitFor([&] {
    EXPECT_EQ(Evaluate("kestrin.openIncomingNotify()"), "false");
    return boxes.size() >= 2;
  }, 10000));
  close(blocker);

  ASSERT_TRUE(WaitFor([&] { return Evaluate("kestrin.openIncomingNotify()") == "true"; }, 10000));
  SendDatagram("tel:13800138000");
  ASSERT_TRUE(WaitForCall("13800138000"));
  SendDatagram("tel:+8613900139000");
  EXPECT_TRUE(WaitForCall("13900139000"));
  // A number can never end the string literal.
  SendDatagram("tel:1\");say('injected');//");
  EXPECT_TRUE(WaitForCall("1\");say('injected');//"));
  EXPECT_EQ(Text().find("\ninjected"), std::string::npos);

  EXPECT_EQ(Evaluate("kestrin.closeIncomingNotify()"), "undefined");
  SendDatagram("tel:111");
  EXPECT_FALSE(WaitForCall("111", 1500));
  // A second open starts no second listener (a second bind would fail and ask).
  const size_t boxes_before = boxes.size();
  EXPECT_EQ(Evaluate("kestrin.openIncomingNotify()"), "true");
  SendDatagram("tel:222");
  EXPECT_TRUE(WaitForCall("222"));
  EXPECT_EQ(boxes.size(), boxes_before);

  // Bursts of distinct calls sent back to back, faster than this thread (the
  // UI thread) hands them over, and more than the ring holds: every call
  // arrives, once, in order.
  for (int burst : {8, 9, 20, 50}) {
    const std::string prefix = "7" + std::to_string(burst) + "0";
    for (int i = 0; i < burst; ++i) SendDatagram("tel:" + prefix + std::to_string(100 + i));
    const std::string last = prefix + std::to_string(100 + burst - 1);
    ASSERT_TRUE(WaitForCall(last)) << burst;
    WaitFor([] { return false; }, 300);
    std::vector<int> delivered;
    const std::string text = Text();
    for (size_t at = text.find("call[" + prefix); at != std::string::npos; at = text.find("call[" + prefix, at + 1))
      delivered.push_back(std::stoi(text.substr(at + 5 + prefix.size(), 3)) - 100);
    EXPECT_TRUE(std::is_sorted(delivered.begin(), delivered.end()) &&
                std::adjacent_find(delivered.begin(), delivered.end()) == delivered.end())
        << burst << " calls, delivered out of order or twice";
    EXPECT_EQ(delivered.size(), static_cast<size_t>(burst));
  }

  // A call the page's handler throws on costs none of the others.
  window->GetBrowser()->GetMainFrame()->ExecuteJavaScript(
      u"var plain = phoneCall; phoneCall = function (n) { if (n == '555') throw new Error('no'); plain(n); };", "", 0);
  EXPECT_EQ(Evaluate("typeof plain"), "\"function\"");
  for (const char* number : {"554", "555", "556"}) SendDatagram(std::string("tel:") + number);
  EXPECT_TRUE(WaitForCall("554"));
  EXPECT_TRUE(WaitForCall("556"));
  EXPECT_EQ(Text().find("call[555]"), std::string::npos);

  // A page of another site that defines phoneCall gets no number; back on
  // the service, the held call arrives once.
  RecordingServer next;
  next.Serve("/next", "<html><body><script>function phoneCall(n) { document.body.append('next page got ' + n); }"
                      "</script>next page</body></html>");
  window->GetBrowser()->GetMainFrame()->LoadURL(next.Url("/next"));
  ASSERT_TRUE(WaitFor([&] { return Text().find("next page") != std::string::npos; }));
  SendDatagram("tel:13600136000");
  EXPECT_FALSE(WaitFor([&] { return Text().find("got 13600136000") != std::string::npos; }, 1500)) << Text();
  window->GetBrowser()->GetMainFrame()->LoadURL(site.Url("/client"));
  EXPECT_TRUE(WaitForCall("13600136000"));
  WaitFor([] { return false; }, 500);
  const std::string text = Text();
  EXPECT_EQ(text.find("call[13600136000]"), text.rfind("call[13600136000]")) << text;

  // The service's own leave handler closes capture, although there the
  // engine blocks the prompt channel and the call comes the one-way way:
  // the next page gets no call until it opens capture again.
  auto reload_with_leave_handler = [&](const std::string& call) {
    Evaluate("(window.addEventListener('pagehide', () => " + call + "), 1)");
    window->GetBrowser()->GetMainFrame()->LoadURL(site.Url("/client"));
    ASSERT_TRUE(WaitFor([&] { return Text() == "ready\n"; }));
  };
  reload_with_leave_handler("kestrin.closeIncomingNotify()");
  SendDatagram("tel:13500135000");
  EXPECT_FALSE(WaitForCall("13500135000", 1500)) << Text();
  // Switching capture on stays refused on the one-way channel.
  reload_with_leave_handler("kestrin.openIncomingNotify()");
  SendDatagram("tel:13400134000");
  EXPECT_FALSE(WaitForCall("13400134000", 1500)) << Text();
  EXPECT_EQ(Evaluate("kestrin.openIncomingNotify()"), "true");
  SendDatagram("tel:13300133000");
  EXPECT_TRUE(WaitForCall("13300133000"));

  // A frame of another site writes the one-way channel's marker itself,
  // bare, with a token it made up, and with one it registered as its own:
  // capture stays on.
  RecordingServer forger;
  forger.Serve("/forger",
               "<html><body><script>var m = '\\u0001veltro-bridge\\u0001', c = 'native\\n' + JSON.stringify("
               "{e: 'kestrin', n: 'closeIncomingNotify', a: []});"
               "console.debug(m + c); console.debug(m + 'via\\n' + 'x'.repeat(32) + '\\n' + c);"
               "console.debug(m + 'one-way\\n' + 'y'.repeat(32)); console.debug(m + 'via\\n' + 'y'.repeat(32) + '\\n' + c);"
               "prompt(m + 'one-way\\n' + 'z'.repeat(32)); console.debug(m + 'via\\n' + 'z'.repeat(32) + '\\n' + c);"
               "parent.postMessage('forged', '*');</script></body></html>");
  Evaluate("(window.addEventListener('message', e => say('frame ' + e.data)), 1)");
  Evaluate("(function () { var f = document.createElement('iframe'); f.src = '" + forger.Url("/forger") +
           "'; document.body.appendChild(f); return 1; })()");
  ASSERT_TRUE(WaitFor([&] { return Text().find("frame forged") != std::string::npos; })) << Text();
  SendDatagram("tel:13200132000");
  EXPECT_TRUE(WaitForCall("13200132000")) << "a forged one-way call closed capture";
  // Calls that came while capture was off are not announced later.
  EXPECT_EQ(Text().find("call[13500135000]"), std::string::npos);
  EXPECT_EQ(Text().find("call[13400134000]"), std::string::npos);
}

// Another account holds the calls' port, bound every way a program can
// bind it: the page's open answers false (and the user is told), never
// true while that program gets the calls.
TEST_F(PageBridge, PortHeldByAnotherAccountIsNeverCaptureOn) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another account";
  // An earlier test's listener would hold the port itself.
  telephony::ShutdownMobileCapture();
  struct Way {
    const char* name;
    int family;
    bool loopback, reuse_address, reuse_port;
  };
  for (const Way& way : {Way{"0.0.0.0", AF_INET, false, false, false}, Way{"127.0.0.1", AF_INET, true, false, false},
                         Way{"0.0.0.0 shared", AF_INET, false, true, true}, Way{"[::]", AF_INET6, false, false, false}}) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
      close(ready[0]);
      // Nothing of the test's output stays open in the holder.
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 1);
      dup2(null, 2);
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
      const int fd = socket(way.family, SOCK_DGRAM, 0);
      const int on = 1;
      if (way.reuse_address) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
      if (way.reuse_port) setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof(on));
      int bound = -1;
      if (way.family == AF_INET6) {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(telephony::kMobileCallPort);
        address.sin6_addr = in6addr_any;
        bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
      } else {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(telephony::kMobileCallPort);
        address.sin_addr.s_addr = htonl(way.loopback ? INADDR_LOOPBACK : INADDR_ANY);
        bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
      }
      const char byte = bound == 0 ? '1' : '0';
      if (write(ready[1], &byte, 1) != 1) _exit(1);
      pause();
      _exit(0);
    }
    close(ready[1]);
    struct Reaper {
      pid_t pid;
      ~Reaper() {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
    } reaper{holder};
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    ASSERT_EQ(byte, '1') << way.name << ": the other account could not bind";
    // Each way is told to the user: an open while the last report is
    // still up answers as that one did, and the next tries again.
    const size_t boxes_before = boxes.size();
    EXPECT_TRUE(WaitFor([&] {
      EXPECT_EQ(Evaluate("kestrin.openIncomingNotify()"), "false") << way.name;
      return boxes.size() > boxes_before;
    }, 10000)) << way.name;
  }
  // The port free again: capture works, and says so.
  EXPECT_TRUE(WaitFor([&] { return Evaluate("kestrin.openIncomingNotify()") == "true"; }, 10000));
  SendDatagram("tel:13200132000");
  EXPECT_TRUE(WaitForCall("13200132000"));
}

// Calls sent every 2 ms through a reload of the page, by the page itself
// and by F5's way: each number reaches phoneCall once, although the new
// document defines phoneCall only some time after it has loaded.
TEST_F(PageBridge, NoCallIsLostOrDoubledAcrossAReload) {
  ASSERT_EQ(Evaluate("kestrin.openIncomingNotify()"), "true");
  RecordingServer service;
  service.Serve("/client",
                "<html><body>loaded<script>setTimeout(function () {"
                "  window.phoneCall = function (n) { navigator.sendBeacon('/got/' + n, ''); };"
                "  document.body.append(' ready');"
                "}, 30);</script></body></html>");
  env::SetStartUrlOverride(service.Url("/client"));
  window->GetBrowser()->GetMainFrame()->LoadURL(service.Url("/client"));
  ASSERT_TRUE(WaitFor([&] { return Text().find("loaded ready") != std::string::npos; }));

  const std::vector<std::pair<std::string, std::function<void()>>> reloads = {
      {"location.reload()",
       [&] { window->GetBrowser()->GetMainFrame()->ExecuteJavaScript(u"location.reload();", "", 0); }},
      {"F5", [&] { window->GetBrowser()->Reload(); }}};
  int round = 0;
  for (const auto& [name, reload] : reloads) {
    constexpr int kCalls = 150;
    const std::string prefix = "55" + std::to_string(++round);
    std::atomic<int> sent{0};
    std::thread sender([&] {
      for (int i = 0; i < kCalls; ++i) {
        SendDatagram("tel:" + prefix + std::to_string(1000 + i));
        ++sent;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
    WaitFor([&] { return sent >= 40; });
    reload();
    WaitFor([&] { return sent == kCalls; });
    sender.join();
    std::map<std::string, int> got;
    auto count = [&] {
      got.clear();
      for (const auto& seen : service.seen())
        if (seen.path.rfind("/got/" + prefix, 0) == 0) ++got[seen.path.substr(5)];
      return got.size();
    };
    EXPECT_TRUE(WaitFor([&] { return count() == kCalls; }, 15000)) << name << ": " << got.size() << " of " << kCalls;
    WaitFor([] { return false; }, 500);
    count();
    for (int i = 0; i < kCalls; ++i) {
      const std::string number = prefix + std::to_string(1000 + i);
      EXPECT_EQ(got[number], 1) << name << ": " << number;
    }
  }
}

// A page of the service that stays loading (an image that never comes)
// takes a call as soon as it has phoneCall, once.
TEST_F(PageBridge, CallsReachAPageThatIsStillLoading) {
  ASSERT_EQ(Evaluate("kestrin.openIncomingNotify()"), "true");
  window->GetBrowser()->GetMainFrame()->LoadURL(site.Url("/loading"));
  ASSERT_TRUE(WaitFor([&] { return Text().find("still loading") != std::string::npos; }));
  SendDatagram("tel:13700137000");
  EXPECT_TRUE(WaitForCall("13700137000"));
  EXPECT_EQ(Evaluate("document.readyState"), "\"interactive\"") << "the load ended: nothing was shown";
  WaitFor([] { return false; }, 500);
  const std::string text = Text();
  EXPECT_EQ(text.find("call[13700137000]"), text.rfind("call[13700137000]")) << text;
  EXPECT_EQ(Evaluate("kestrin.closeIncomingNotify()"), "undefined");
}

// A load of the service page that makes no document (its server never
// answers) is recovered as a dead renderer's: the failure page, a log line,
// the start page again; calls held meanwhile reach it.
TEST_F(PageBridge, AStalledLoadIsRecoveredAndItsCallsArrive) {
  browser::SetStalledLoadWaitForTesting(std::chrono::milliseconds(1500));
  // The program log lives in log/ beside the executable, made by its installer.
  const QString log_dir = QCoreApplication::applicationDirPath() + "/log";
  QDir().mkpath(log_dir);
  const QString log = log_dir + "/软件日志" + QDate::currentDate().toString("yyyyMMdd") + ".txt";
  ASSERT_EQ(Evaluate("kestrin.openIncomingNotify()"), "true");
  window->GetBrowser()->GetMainFrame()->LoadURL(site.Url("/stalled"));
  ASSERT_TRUE(WaitFor([&] { return site.Hits("/stalled") == 1; }));
  SendDatagram("tel:13100131000");
  EXPECT_TRUE(WaitFor([&] { return Text().find("加载失败了") != std::string::npos; }, 10000)) << Text();
  EXPECT_TRUE(WaitForCall("13100131000", 15000)) << Text();
  browser::SetStalledLoadWaitForTesting(std::chrono::seconds(30));
  EXPECT_TRUE(ReadUtf16Log(log).contains(QStringLiteral("the page made no document in 1 s of loading")));
}

}  // namespace
