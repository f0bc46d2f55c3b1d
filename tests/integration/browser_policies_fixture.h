// Root windows of the real client, made by the registry, for tests of its
// browser policies; message boxes are answered by the test.
#ifndef TESTS_INTEGRATION_BROWSER_POLICIES_FIXTURE_H_
#define TESTS_INTEGRATION_BROWSER_POLICIES_FIXTURE_H_

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "browser/window_registry.h"
#include "browser/root_window_win.h"
#include "platform/message_box.h"
#include "client_harness.h"

class BrowserPolicies : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageBoxAnswererForTesting([this](const platform::MessageBoxRequest& request) {
      boxes.push_back(request);
      return answer;
    });
  }
  void TearDown() override {
    registry()->CloseAllWindows(true);
    WaitFor([this] { return registry()->window_count() == 0; }, 10000);
    platform::SetMessageBoxAnswererForTesting(nullptr);
  }

  static browser::WindowRegistry* registry() { return app::AppContext::Get()->Registry(); }

  std::shared_ptr<browser::RootWindow> Open(const std::string& url) {
    auto window = registry()->CreateRootWindow(false, false, {0, 0, 800, 600}, url);
    EXPECT_TRUE(WaitFor([&] { return window->GetBrowser() != nullptr; }));
    return window;
  }

  // The page's text once it held |needle| (the last seen, if it never did).
  // WaitFor asks once more at its end: the text then may be another page's.
  std::string TextOnceItHas(const std::shared_ptr<browser::RootWindow>& window, const std::string& needle) {
    std::string seen, found;
    WaitFor([&] {
      auto browser = window->GetBrowser();
      if (!browser) return false;
      seen = FrameText(browser);
      if (seen.find(needle) != std::string::npos) found = seen;
      return !found.empty();
    });
    return found.empty() ? seen : found;
  }

  // The popup window among the registry's windows, if any.
  static std::shared_ptr<browser::RootWindow> Popup() {
    for (auto& w : registry()->RootWindowsForTesting())
      if (w->is_popup()) return w;
    return nullptr;
  }

  static void SendKey(const std::shared_ptr<browser::RootWindow>& window, int key, Qt::KeyboardModifiers modifiers) {
    QWidget* view = window->GetBrowser()->GetHost()->GetWindowHandle();
    QWidget* target = view->focusProxy() ? view->focusProxy() : view;
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(target, &press);
  }

  std::vector<platform::MessageBoxRequest> boxes;
  int answer = platform::IDOK;
};

#endif  // TESTS_INTEGRATION_BROWSER_POLICIES_FIXTURE_H_
