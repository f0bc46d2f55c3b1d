// The page bridge, in the real engine.
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
#include "page_bridge_fixture.h"

namespace {

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
  EXPECT_NE(Text().find(";soft_version:2.6.1\",4,1,false,false,false,\"1\",null]"), std::string::npos) << Text();
  const std::string refused = "frame said other [false,false,1,false,false,false,null,1,\"string\",\"\"]";
  EXPECT_TRUE(WaitFor([&] {
    const std::string text = Text();
    size_t count = 0;
    for (size_t at = text.find(refused); at != std::string::npos; at = text.find(refused, at + 1)) ++count;
    return count == 3;
  })) << Text();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("the user's"));
  EXPECT_FALSE(window->GetHandle()->isFullScreen());
  {
    // No frame opened mobile capture: its port is still free.
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(telephony::kMobileCallPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    EXPECT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    close(probe);
  }
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

// Where no answer can come (an unload handler), the display queries still
// answer as they promise: a bool, a count of at least 1, an array of four.
TEST_F(PageBridge, DisplayQueriesAnswerInUnloadHandlers) {
  const std::string report =
      "(window.addEventListener('pagehide', () => navigator.sendBeacon('/beacon', JSON.stringify([app.isMultiScreen(), "
      "app.getScreenCount(), app.getViceScreenRegion(), typeof app.getSoftInfo()]))), 1)";
  for (const bool asked_before : {false, true}) {
    SCOPED_TRACE(asked_before);
    if (asked_before) {
      EXPECT_EQ(Evaluate("app.getScreenCount()"), "1");
    }
    Evaluate(report);
    window->GetBrowser()->GetMainFrame()->LoadURL(site.Url("/client"));
    ASSERT_TRUE(WaitFor([&] { return !site.Posted("/beacon").empty(); }));
    EXPECT_EQ(site.Posted("/beacon"), "[false,1,[0,0,0,0],\"string\"]");
    ASSERT_TRUE(WaitFor([&] { return Text() == "ready\n"; }));
    site.ClearPosted();
  }
}

}  // namespace
