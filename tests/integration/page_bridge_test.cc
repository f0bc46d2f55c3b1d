// The page bridge and the road of a mobile call, in the real engine.
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
#include "app/root_window_registry.h"
#include "browser/root_window_win.h"
#include "env/product.h"
#include "platform/message_box.h"
#include "renderer/renderer_process_app.h"
#include "telephony/mobile_call_listener.h"
#include "client_harness.h"

namespace {

class PageBridge : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageBoxAnswererForTesting([this](const platform::MessageBoxRequest& request) {
      boxes.push_back(request);
      return platform::IDOK;
    });
    // The page keeps what it was given in its text, where the test reads it.
    site.Serve("/client",
               "<html><body><pre id='out'></pre><script>"
               "function say(text) { document.getElementById('out').textContent += text + '\\n'; }"
               "function phoneCall(number) { say('call[' + number + ']'); }"
               "say('ready');"
               "</script></body></html>");
    // The page is the service's: its frames may act outside the page.
    env::SetStartUrlOverride(site.Url("/client"));
    window = app::AppContext::Get()->Registry()->CreateRootWindow(false, false, {0, 0, 800, 600}, site.Url("/client"));
    ASSERT_TRUE(WaitFor([&] { return window->GetBrowser() != nullptr; }));
    ASSERT_TRUE(WaitFor([&] { return Text().find("ready") != std::string::npos; }));
  }
  void TearDown() override {
    app::AppContext::Get()->Registry()->CloseAllWindows(true);
    WaitFor([] { return app::AppContext::Get()->Registry()->window_count() == 0; }, 10000);
    platform::SetMessageBoxAnswererForTesting(nullptr);
    env::SetStartUrlOverride("");
  }

  std::string Text() { return FrameText(window->GetBrowser()); }
  // Runs |script| in the page and waits for its result line.
  std::string Evaluate(const std::string& script) {
    const std::string tag = "r" + std::to_string(++counter_) + "=";
    window->GetBrowser()->GetMainFrame()->ExecuteJavaScript(
        QString::fromStdString("try { say('" + tag + "' + JSON.stringify(" + script + ")); } catch (e) { say('" + tag +
                               "threw ' + e.message); }")
            .toStdU16String(),
        "", 0);
    std::string line;
    WaitFor([&] {
      const std::string text = Text();
      const size_t at = text.find(tag);
      if (at == std::string::npos) return false;
      line = text.substr(at + tag.size(), text.find('\n', at) - at - tag.size());
      return true;
    });
    return line;
  }
  bool WaitForCall(const std::string& number, int timeout_ms = 5000) {
    return WaitFor([&] { return Text().find("call[" + number + "]") != std::string::npos; }, timeout_ms);
  }
  static void SendDatagram(const std::string& bytes) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(telephony::kMobileCallPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
    close(fd);
  }

  RecordingServer site;
  std::shared_ptr<browser::RootWindow> window;
  std::vector<platform::MessageBoxRequest> boxes;
  int counter_ = 0;
};

TEST_F(PageBridge, AppFunctionsAnswerAsSpecified) {
  EXPECT_EQ(Evaluate("app.getSoftInfo()"),
            "\"soft_sign:crm;soft_name:VeltroCRM客户管理系统;soft_url:" + env::StartUrl() +
                ";soft_version:2.6.1\"");
  EXPECT_EQ(Evaluate("app.getScreenCount()"), "1");
  EXPECT_EQ(Evaluate("app.isMultiScreen()"), "false");
  EXPECT_EQ(Evaluate("app.getViceScreenRegion()"), "[0,0,0,0]");
  EXPECT_EQ(Evaluate("app.setFullScreen('yes')"), "4");
  EXPECT_EQ(Evaluate("app.rootDefaultBrowser('')"), "false");
  EXPECT_EQ(Evaluate("app.rootDefaultBrowser(42)"), "false");
  EXPECT_EQ(Evaluate("app.copyUnicodeText('你好')"), "true");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("你好"));
  EXPECT_EQ(Evaluate("app.copyText('abc')"), "true");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("abc"));
  EXPECT_EQ(Evaluate("app.startLandlineCapture()"), "undefined");
  EXPECT_EQ(Evaluate("__veltroNative__('v8/app', 'noSuchFunction', [])"), "threw Invalid method arguments");
  EXPECT_EQ(Evaluate("typeof kestrin.openIncomingNotify"), "\"function\"");
}

TEST_F(PageBridge, ArgumentsOfAnySize) {
  // What reaches the clipboard is checked by length and ends: the engine
  // cut long prompt texts.
  const struct {
    const char* name;
    const char* text;
    int length;
  } cases[] = {
      {"empty", "''", 0},
      {"16 KiB", "'x'.repeat(16384)", 16384},
      {"1 Mi non-ASCII characters, surrogate pairs included", "'你好😀'.repeat(262144)", 1048576},
      {"10 MiB", "'y'.repeat(10485760)", 10485760},
  };
  for (const auto& c : cases) {
    QGuiApplication::clipboard()->clear();
    EXPECT_EQ(Evaluate(std::string("app.copyUnicodeText(") + c.text + ")"), "true") << c.name;
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_EQ(copied.size(), c.length) << c.name;
    if (c.length > 0) {
      EXPECT_TRUE(copied.endsWith(QStringLiteral("y")) || copied.endsWith(QStringLiteral("x")) ||
                  copied.endsWith(QString::fromUtf8("😀")))
          << c.name;
    }
  }
}

// Records what the page side reports of the focused node.
class FocusRecorder : public renderer::RendererProcessApp {
 public:
  void OnFocusedNodeChanged(std::shared_ptr<engine::Browser> browser, bool has_node, bool editable) override {
    reports.push_back(has_node && editable);
    RendererProcessApp::OnFocusedNodeChanged(browser, has_node, editable);
  }
  std::vector<bool> reports;
};

TEST_F(PageBridge, OtherFramesGetReadOnlyAnswers) {
  // A frame sandboxed without modals: the prompt channel is blocked there,
  // and the one-way channel vouches for no frame. Calls that act outside
  // the page are refused, as the page is told; what can be known without
  // an answer is returned. Once such a frame wrote the clipboard and
  // switched mobile capture on.
  RecordingServer other;
  other.Serve("/sandboxed", "<html><body><input id='field'><script>app.copyText('from the sandbox');"
                            "parent.postMessage(JSON.stringify([app.getSoftInfo(), app.setFullScreen('x'),"
                            " app.setFullScreen(false), app.copyText(5), app.rootDefaultBrowser(''),"
                            " kestrin.openIncomingNotify(), String(app.getScreenCount()), kestrin.closeIncomingNotify()]), '*');"
                            "document.getElementById('field').focus();"
                            "setTimeout(() => { throw new Error('sandbox boom'); });</script></body></html>");
  // Frames whose calls are answered, but which are not the service: another
  // origin, a data: document, a sandbox with modals (an opaque origin,
  // which also once passed for the engine's error page).
  const std::string acting =
      "JSON.stringify([app.copyText('from a frame'), app.copyUnicodeText('from a frame'), app.setFullScreen(true),"
      " kestrin.openIncomingNotify(), app.rootDefaultBrowser('https://example.invalid/'), app.setExtendDualview(),"
      " app.startLandlineCapture(), app.getScreenCount(), typeof app.getSoftInfo(),"
      " String(prompt('\\u0001veltro-bridge\\u0001frame-load-error\\n-102\\nhttp://127.0.0.1:9/'))])";
  other.Serve("/acting", "<html><body><script>parent.postMessage('other ' + " + acting + ", '*');</script></body></html>");
  const QString log_dir = QCoreApplication::applicationDirPath() + "/log";
  QDir().mkpath(log_dir);
  const QString log = log_dir + "/crash" + QDate::currentDate().toString("yyyyMMdd") + ".txt";
  QFile::remove(log);
  QGuiApplication::clipboard()->setText(QStringLiteral("the user's"));
  // The extensions stay registered; only the reports are recorded.
  auto recorder = std::make_shared<FocusRecorder>();
  engine::SetRenderProcessHandler(recorder);
  Evaluate("(window.addEventListener('message', (e) => say('frame said ' + e.data)), 1)");
  auto add_frame = [&](const std::string& sandbox, const std::string& src) {
    std::string quoted;
    for (const char c : src) quoted += (c == '\\' || c == '\'') ? std::string("\\") + c : std::string(1, c);
    Evaluate("(function () { const f = document.createElement('iframe'); " +
             (sandbox.empty() ? std::string() : "f.sandbox = '" + sandbox + "'; ") + "f.src = '" + quoted +
             "'; document.body.appendChild(f); return 1; })()");
  };
  add_frame("allow-scripts", other.Url("/sandboxed", "localhost"));
  add_frame("", other.Url("/acting", "localhost"));
  add_frame("allow-scripts allow-modals", other.Url("/acting", "localhost"));
  add_frame("", "data:text/html,<script>parent.postMessage('other ' + " + acting + ", '*');</script>");
  EXPECT_TRUE(WaitFor([&] { return Text().find("frame said [") != std::string::npos; }));
  // The product text as it was when the extension was registered.
  EXPECT_NE(Text().find(";soft_version:2.6.1\",4,1,false,false,false,\"undefined\",null]"), std::string::npos) << Text();
  const std::string refused = "frame said other [false,false,1,false,false,false,null,1,\"string\",\"\"]";
  EXPECT_TRUE(WaitFor([&] {
    const std::string text = Text();
    size_t count = 0;
    for (size_t at = text.find(refused); at != std::string::npos; at = text.find(refused, at + 1)) ++count;
    return count == 3;
  })) << Text();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("the user's"));
  EXPECT_FALSE(window->GetHandle()->isFullScreen());
  EXPECT_FALSE(telephony::IsMobileListenerStarted());
  // The main frame itself still may.
  EXPECT_EQ(Evaluate("app.copyText('from the service')"), "true");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("from the service"));
  // Focus on the frame's text field is reported as an editable node.
  EXPECT_TRUE(WaitFor([&] { return std::find(recorder->reports.begin(), recorder->reports.end(), true) != recorder->reports.end(); }));
  // Its uncaught exceptions reach the crash log the same way.
  EXPECT_TRUE(WaitFor([&] { return ReadUtf16Log(log).contains("sandbox boom"); })) << ReadUtf16Log(log).toStdString();
  engine::SetRenderProcessHandler(std::make_shared<renderer::RendererProcessApp>());
  QDir(log_dir).removeRecursively();
}

TEST_F(PageBridge, UncaughtExceptionsGoToTheCrashLogAndQueriesFail) {
  const QString log_dir = QCoreApplication::applicationDirPath() + "/log";
  QDir().mkpath(log_dir);
  const QString log = log_dir + "/crash" + QDate::currentDate().toString("yyyyMMdd") + ".txt";
  QFile::remove(log);
  // A script of the page's own (script run from outside is reported muted).
  window->GetBrowser()->GetMainFrame()->ExecuteJavaScript(
      u"var s = document.createElement('script'); s.textContent = \"throw new Error('boom 1')\"; "
      u"document.body.appendChild(s);",
      "", 0);
  auto logged = [&] { return ReadUtf16Log(log); };
  EXPECT_TRUE(WaitFor([&] { return logged().contains("Uncaught Error: boom 1\r\ndatetime:"); })) << logged().toStdString();
  QDir(log_dir).removeRecursively();

  // The router is there, and with no handler every query fails.
  Evaluate("cefQuery({request: 'ping', onFailure: (code, text) => say('failed ' + code + ' ' + text)})");
  EXPECT_TRUE(WaitFor([&] { return Text().find("failed -1 The query has been canceled") != std::string::npos; }));
  EXPECT_EQ(Evaluate("typeof cefQueryCancel"), "\"function\"");

  // A frame of another origin gets the answer to its own query, a frame of
  // a third origin nothing.
  RecordingServer other, third;
  other.Serve("/frame", "<html><body><script>cefQuery({request: 'x', onFailure: (code) => "
                        "document.body.append('frame failed ' + code)});</script></body></html>");
  third.Serve("/frame", "<html><body><script>window.addEventListener('message', () => "
                        "document.body.append('third heard it'));</script>third</body></html>");
  Evaluate("(function () { for (const url of ['" + third.Url("/frame", "localhost") + "', '" +
           other.Url("/frame", "localhost") + "']) { const f = document.createElement('iframe'); f.src = url; "
           "document.body.appendChild(f); } return 1; })()");
  EXPECT_TRUE(WaitFor([&] { return Text().find("frame failed -1") != std::string::npos; })) << Text();
  EXPECT_EQ(Text().find("third heard it"), std::string::npos);
}

TEST_F(PageBridge, LinksOpenInABrowserByNameOrNotAtAll) {
  QTemporaryDir bin;
  const QByteArray saved_path = qgetenv("PATH");
  qputenv("PATH", bin.path().toUtf8());
  // Neither a browser nor a default handler: the main window answers 30
  // and the page's own attempt fails too.
  EXPECT_EQ(Evaluate("app.rootDefaultBrowser('https://example.invalid/a')"), "false");
  // A Chromium-family browser that can be started by name gets the URL,
  // after the end of its switches.
  const QString record = bin.filePath("opened");
  ASSERT_TRUE(WriteRecordingProgram(bin.path(), "chromium", record));
  ASSERT_TRUE(WriteRecordingProgram(bin.path(), "xdg-open", record));
  // Only web, mail and phone links, and nothing that a program could read
  // as a switch; from the page and from a frame of another origin alike.
  const std::string cases =
      R"js(["file:///etc/passwd", "/usr/bin/xterm", "javascript:alert(1)", "data:text/html,x", "chrome://settings",
          "smb://host/share", "\t--gpu-launcher=xterm", "\n--utility-cmd-prefix=xterm", "--help",
          "https://a.example/b c", "https:///path", "http:", "https://a.example/x?q=1%202", "HTTP://b.example",
          "mailto:a@b.example", "tel:+8613800138000"])js";
  const std::string expected = "[false,false,false,false,false,false,false,false,false,false,false,false,true,true,"
                               "true,true]";
  EXPECT_EQ(Evaluate(cases + ".map(u => app.rootDefaultBrowser(u))"), expected);
  // A frame of another origin opens nothing: all of it answers false. It
  // once opened whatever the page could.
  RecordingServer other;
  other.Serve("/frame", "<html><body><script>document.body.append('frame=' + JSON.stringify(" + cases +
                            ".map(u => app.rootDefaultBrowser(u))));</script></body></html>");
  Evaluate("(function () { var f = document.createElement('iframe'); f.src = '" + other.Url("/frame", "localhost") +
           "'; document.body.appendChild(f); return 1; })()");
  EXPECT_TRUE(WaitFor([&] { return Text().find("frame=") != std::string::npos; }));
  EXPECT_NE(Text().find("frame=[false,false,false,false,false,false,false,false,false,false,"
                        "false,false,false,false,false,false]"),
            std::string::npos)
      << Text();
  // The programs start on their own: wait for the page's four, in any order.
  QStringList lines;
  WaitFor([&] {
    QFile opened(record);
    lines = opened.open(QIODevice::ReadOnly) ? QString::fromUtf8(opened.readAll()).split('\n', Qt::SkipEmptyParts)
                                             : QStringList();
    return lines.size() >= 4;
  }, 10000);
  lines.sort();
  EXPECT_EQ(lines, QStringList({"-- HTTP://b.example", "-- https://a.example/x?q=1%202", "-- mailto:a@b.example",
                                "-- tel:+8613800138000"}));
  qputenv("PATH", saved_path);
}

TEST_F(PageBridge, FullScreenSwitchesTheWindow) {
  EXPECT_EQ(Evaluate("app.setFullScreen(true)"), "0");
  EXPECT_TRUE(WaitFor([&] { return window->GetHandle()->isFullScreen(); }, 5000));
  EXPECT_EQ(Evaluate("app.setFullScreen(false)"), "0");
  EXPECT_TRUE(WaitFor([&] { return !window->GetHandle()->isFullScreen(); }, 5000));
}

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
  ASSERT_TRUE(WaitFor([] { return !telephony::IsMobileListenerStarted(); }));
  // The page is never told capture works while the calls may go to
  // whoever holds the port: each open tries again, and answers for itself.
  EXPECT_EQ(Evaluate("kestrin.openIncomingNotify()"), "false");
  ASSERT_TRUE(WaitFor([&] { return boxes.size() == 2; }, 10000));
  ASSERT_TRUE(WaitFor([] { return !telephony::IsMobileListenerStarted(); }));
  close(blocker);

  EXPECT_EQ(Evaluate("kestrin.openIncomingNotify()"), "true");
  ASSERT_TRUE(telephony::IsMobileListenerStarted());
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
    const size_t boxes_before = boxes.size();
    EXPECT_EQ(Evaluate("kestrin.openIncomingNotify()"), "false") << way.name;
    EXPECT_TRUE(WaitFor([&] { return boxes.size() > boxes_before; }, 10000)) << way.name;
    EXPECT_TRUE(WaitFor([] { return !telephony::IsMobileListenerStarted(); })) << way.name;
  }
  // The port free again: capture works, and says so.
  EXPECT_EQ(Evaluate("kestrin.openIncomingNotify()"), "true");
  SendDatagram("tel:13200132000");
  EXPECT_TRUE(WaitForCall("13200132000"));
}

// Calls sent every 2 ms through a reload of the page, by the page itself
// and by F5's way: each number reaches phoneCall once, although the new
// document defines phoneCall only some time after it has loaded.
TEST_F(PageBridge, NoCallIsLostOrDoubledAcrossAReload) {
  Evaluate("kestrin.openIncomingNotify()");
  ASSERT_TRUE(WaitFor([] { return telephony::IsMobileListenerStarted(); }));
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

}  // namespace
