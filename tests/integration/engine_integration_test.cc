// The real engine (Qt WebEngine) against a local HTTP server.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <mutex>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "engine/engine.h"
#include "engine/qt/browser_qt.h"
#include "platform/message_box.h"
#include "platform/termination_signals.h"
#include "platform/ui_stall_watchdog.h"
#include "platform/top_level_window.h"
#include "test_helpers.h"

namespace {

class RecordingClient : public engine::Client {
 public:
  void OnAfterCreated(std::shared_ptr<engine::Browser> b) override { browser = b; }
  bool DoClose(std::shared_ptr<engine::Browser>) override {
    ++close_requests;
    return false;
  }
  void OnBeforeClose(std::shared_ptr<engine::Browser>) override { closed = true; }
  void OnLoadingStateChange(std::shared_ptr<engine::Browser>, bool, bool, bool) override {}
  void OnLoadEnd(std::shared_ptr<engine::Browser>, std::shared_ptr<engine::Frame>, int status) override {
    ++load_ends;
    last_status = status;
  }
  void OnLoadError(std::shared_ptr<engine::Browser>, std::shared_ptr<engine::Frame>, int code, const std::string&,
                   const std::string& url) override {
    last_error = code;
    failed_url = url;
  }
  void OnAddressChange(std::shared_ptr<engine::Browser>, std::shared_ptr<engine::Frame>,
                       const std::string& url) override {
    address = url;
  }
  void OnTitleChange(std::shared_ptr<engine::Browser>, const std::u16string& t) override { title = t; }
  void OnFullscreenModeChange(std::shared_ptr<engine::Browser>, bool) override {}
  bool OnConsoleMessage(std::shared_ptr<engine::Browser>, const std::u16string& message, const std::string&,
                        int) override {
    console.push_back(message);
    return false;
  }

  std::shared_ptr<engine::Browser> browser;
  int close_requests = 0;
  bool closed = false;
  int load_ends = 0;
  int last_status = -1;
  int last_error = 0;
  std::string failed_url, address;
  std::u16string title;
  std::vector<std::u16string> console;
};

// A shown window whose browser has loaded |url|, or has given up.
struct LoadedPage {
  QWidget* frame;
  std::shared_ptr<RecordingClient> client;
};
LoadedPage LoadPage(const std::string& url, int width, int height) {
  LoadedPage page{new QWidget, std::make_shared<RecordingClient>()};
  page.frame->resize(width, height);
  page.frame->show();
  if (engine::CreateBrowser(engine::WindowInfo{page.frame, 0, 0, width, height}, page.client, url, {}, nullptr))
    WaitFor([&] { return page.client->browser && page.client->load_ends > 0; });
  return page;
}

TEST(Engine, LoadsAPageAndReportsConsoleAndClose) {
  RecordingServer server;
  server.Serve("/client", "<html><head><title>t</title></head><body><script>console.log('你好')</script></body></html>");
  auto [frame, client] = LoadPage(server.Url("/client"), 800, 600);
  ASSERT_TRUE(client->browser && client->load_ends > 0);
  EXPECT_EQ(client->last_status, 200);
  EXPECT_EQ(client->address, server.Url("/client"));
  ASSERT_TRUE(WaitFor([&] { return !client->console.empty(); }));
  EXPECT_EQ(client->console.front(), u"你好");
  EXPECT_EQ(client->browser->GetMainFrame()->GetURL(), server.Url("/client"));

  // A polite close asks the client, then takes the top-level window down.
  QObject::connect(frame, &QObject::destroyed, [] {});
  frame->setAttribute(Qt::WA_DeleteOnClose);
  client->browser->GetHost()->CloseBrowser(false);
  ASSERT_TRUE(WaitFor([&] { return client->closed; }));
  EXPECT_EQ(client->close_requests, 1);
}

// A script's answer still awaited when the window goes comes from the
// page's destructor; the client then asks the browser about its page.
TEST(Engine, AnAnswerOwedWhenTheWindowGoesFindsNoPage) {
  RecordingServer server;
  server.Serve("/client", "<html><body>page</body></html>");
  auto [frame, client] = LoadPage(server.Url("/client"), 400, 300);
  ASSERT_TRUE(client->browser && client->load_ends > 0);
  auto browser = client->browser;
  int answers = 0;
  bool value = true;
  std::string url_then = "unset";
  browser->GetMainFrame()->EvaluateJavaScript(u"true", [&](bool taken) {
    ++answers;
    value = taken;
    url_then = browser->GetMainFrame()->GetURL();
  });
  delete frame;
  ASSERT_TRUE(WaitFor([&] { return client->closed; }));
  EXPECT_EQ(answers, 1);
  EXPECT_FALSE(value);
  EXPECT_EQ(url_then, "");
}

TEST(Engine, PendingPopupNamesAreBounded) {
  RecordingServer server;
  server.Serve("/client", "<html><body>page</body></html>");
  auto [frame, client] = LoadPage(server.Url("/client"), 400, 300);
  ASSERT_TRUE(client->browser && client->load_ends > 0);
  auto* browser = dynamic_cast<engine::QtBrowser*>(client->browser.get());
  ASSERT_TRUE(browser);
  // A page once reported 100,000 names of 8,000 characters that no window
  // ever took, and the browser process kept every one (1.74 GB).
  const QUrl reporter(QStringLiteral("http://x.example"));
  browser->popup_names().Push(QStringLiteral("first\nhttp://x.example/first"), reporter);
  const QString junk = QString(8000, QLatin1Char('j')) + QStringLiteral("\nhttp://x.example/junk");
  for (int i = 0; i < 10000; ++i) browser->popup_names().Push(junk, reporter);
  std::string name, origin;
  EXPECT_FALSE(browser->popup_names().Take(QUrl(QStringLiteral("http://x.example/first")), name, origin));
  // A window that does come finds its name and its opener among the latest.
  browser->popup_names().Push(QStringLiteral("no_1_2_3_4\nhttp://x.example/kept"), QUrl(QStringLiteral("http://y.example")));
  for (int i = 0; i < 10; ++i) browser->popup_names().Push(junk, reporter);
  EXPECT_TRUE(browser->popup_names().Take(QUrl(QStringLiteral("http://x.example/kept")), name, origin));
  EXPECT_EQ(name, "no_1_2_3_4");
  EXPECT_EQ(origin, "http://y.example");
  frame->setAttribute(Qt::WA_DeleteOnClose);
  client->browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(WaitFor([&] { return client->closed; }));
}

// After the UI loop has ended: a box a worker thread asks for does not
// hold the exit that joins that thread (once they waited on each other).
TEST(ExitPath, WorkersBoxesAndSignalsNeverHoldTheExit) {
  platform::SetMessageBoxAnswererForTesting(nullptr);
  std::atomic<int> answer{-1};
  std::thread worker([&] { answer = platform::ShowMessageBox(nullptr, "端口被占用", "提示", platform::MB_OK); });
  // The UI thread is not running its loop: the box cannot be shown.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = std::chrono::steady_clock::now();
  platform::SetMessageBoxesClosed(true);
  worker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(answer, platform::IDCANCEL);
  std::thread later([&] { answer = platform::ShowMessageBox(nullptr, "later", "提示", platform::MB_OK); });
  later.join();
  EXPECT_EQ(answer, platform::IDCANCEL);
  // The queued boxes, once their turn comes, show nothing (a box would
  // wait here for a click that never comes).
  QCoreApplication::processEvents();
  platform::SetMessageBoxesClosed(false);

  // A signal once the loop has ended ends the process; before, it was
  // caught and nothing acted on it.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    platform::HandleTerminationSignals([](int) {});
    platform::StopHandlingTerminationSignals();
    raise(SIGTERM);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

TEST(ExitPath, TheWatchdogNamesAStallAndWhatTheThreadWasDoing) {
  std::mutex mutex;
  std::vector<std::string> lines;
  platform::UiStallWatchdog watchdog([&](const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    lines.push_back(line);
  });
  QTimer::singleShot(200, [] {
    platform::ScopedUiActivity activity("opening the phone box");
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
  });
  WaitFor([] { return false; }, 1500);
  watchdog.Stop();
  EXPECT_GE(watchdog.longest_pause().count(), 600);
  std::lock_guard<std::mutex> lock(mutex);
  const std::string all = ::testing::PrintToString(lines);
  EXPECT_NE(all.find("while opening the phone box"), std::string::npos) << all;
  EXPECT_NE(all.find("UI thread stalled"), std::string::npos) << all;
  EXPECT_NE(all.find("UI thread: longest pause"), std::string::npos) << all;
}

TEST(Engine, ReportsLoadErrorsWithNetErrorCodes) {
  const int port = ClosedPort();
  QWidget frame;
  frame.resize(400, 300);
  auto client = std::make_shared<RecordingClient>();
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/client";
  ASSERT_TRUE(engine::CreateBrowser(engine::WindowInfo{&frame, 0, 0, 400, 300}, client, url, {}, nullptr));
  frame.show();
  ASSERT_TRUE(WaitFor([&] { return client->load_ends > 0; }));
  EXPECT_EQ(client->last_error, -102);  // connection refused
  EXPECT_EQ(client->failed_url, url);
}

class CountingWindow : public platform::TopLevelWindow {
 public:
  CountingWindow() : TopLevelWindow("TestClass") {}
  intptr_t WindowProc(const platform::WindowMessage& m) override {
    ++handled;
    last = m;
    return static_cast<intptr_t>(m.wparam) * 2;
  }
  int handled = 0;
  platform::WindowMessage last;
};

TEST(WindowDirectory, FindsByExactTitleAndTakesMessagesFromAnyThread) {
  auto window = std::make_unique<CountingWindow>();
  window->SetTitle("Title (版本1)");
  EXPECT_EQ(platform::FindWindowByClassAndTitle("TestClass", "Title (版本2)"), nullptr);
  EXPECT_EQ(platform::FindWindowByClassAndTitle("Other", "Title (版本1)"), nullptr);
  auto handle = platform::FindWindowByClassAndTitle("TestClass", "Title (版本1)");
  ASSERT_NE(handle, nullptr);

  std::atomic<intptr_t> sent{0};
  std::atomic<bool> posted{false};
  std::thread worker([&] {
    posted = handle->Post({32609, 1, 0});
    sent = handle->Send({32008, 21, 5});
  });
  ASSERT_TRUE(WaitFor([&] { return sent.load() != 0; }));
  worker.join();
  EXPECT_TRUE(posted);
  EXPECT_EQ(sent.load(), 42);
  EXPECT_EQ(window->handled, 2);
  EXPECT_EQ(window->last.lparam, 5);

  // Once the window is gone the handle does nothing.
  window.reset();
  EXPECT_EQ(platform::FindWindowByClassAndTitle("TestClass", "Title (版本1)"), nullptr);
  EXPECT_FALSE(handle->Post({32609, 1, 0}));
  EXPECT_EQ(handle->Send({32008, 21, 5}), 0);
}

}  // namespace
