// The service's page in a real window of the client, as the page bridge
// and call tests drive it.
#ifndef TESTS_INTEGRATION_PAGE_BRIDGE_FIXTURE_H_
#define TESTS_INTEGRATION_PAGE_BRIDGE_FIXTURE_H_

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "browser/window_registry.h"
#include "browser/root_window_win.h"
#include "env/product.h"
#include "platform/message_box.h"
#include "telephony/mobile_call_listener.h"
#include "client_harness.h"

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
    // A page of the service that stays loading: its image never comes.
    site.Hang("/never.png");
    site.Hang("/stalled");
    site.Serve("/loading",
               "<html><body><pre id='out'></pre><script>"
               "function say(text) { document.getElementById('out').textContent += text + '\\n'; }"
               "function phoneCall(number) { say('call[' + number + ']'); }"
               "say('still loading');"
               "</script><img src='/never.png'></body></html>");
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

#endif  // TESTS_INTEGRATION_PAGE_BRIDGE_FIXTURE_H_
