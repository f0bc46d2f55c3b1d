// The off-screen window's input rules, in the running application: what a
// press, a drag or a popup makes of the events the page gets.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <string>
#include <vector>

#include "../unit/fake_engine.h"
#include "browser/browser_host.h"
#include "browser/osr_window_win.h"

namespace {

class RecordingBrowser : public FakeBrowser {
 public:
  void SendMouseClickEvent(const engine::MouseEvent& event, engine::MouseButtonType button, bool mouse_up,
                           int click_count) override {
    sent.push_back(std::string(mouse_up ? "up " : "down ") + std::to_string(button) + " x" +
                   std::to_string(click_count) + " " + At(event));
  }
  void SendMouseMoveEvent(const engine::MouseEvent& event, bool mouse_leave) override {
    sent.push_back(std::string(mouse_leave ? "leave " : "move ") + At(event));
  }
  std::vector<std::string> sent;

 private:
  static std::string At(const engine::MouseEvent& event) {
    return std::to_string(event.x) + "," + std::to_string(event.y);
  }
};

void Mouse(QWidget& window, QEvent::Type type, Qt::MouseButton button, QPoint at, Qt::KeyboardModifiers modifiers = {}) {
  QMouseEvent event(type, at, window.mapToGlobal(at), button, type == QEvent::MouseButtonRelease ? Qt::NoButton : button,
                    modifiers);
  QCoreApplication::sendEvent(&window, &event);
}

void Click(QWidget& window, Qt::MouseButton button, QPoint at) {
  Mouse(window, QEvent::MouseButtonPress, button, at);
  Mouse(window, QEvent::MouseButtonRelease, button, at);
}

TEST(OffscreenWindow, ClickCountsDragRotationAndPopupOffset) {
  browser::OffscreenWindow window(nullptr, browser::OffscreenSettings{});
  window.resize(400, 300);
  auto page = std::make_shared<RecordingBrowser>();
  window.SetBrowser(page);

  // Two quick left clicks on one spot are a double click; a right click
  // in between starts the count again.
  Click(window, Qt::LeftButton, {10, 10});
  Click(window, Qt::LeftButton, {11, 10});
  Click(window, Qt::RightButton, {11, 10});
  Click(window, Qt::LeftButton, {11, 10});
  EXPECT_EQ(page->sent, (std::vector<std::string>{"down 0 x1 10,10", "up 0 x1 10,10", "down 0 x2 11,10",
                                                  "up 0 x2 11,10", "down 2 x1 11,10", "up 2 x1 11,10",
                                                  "down 0 x1 11,10", "up 0 x1 11,10"}));
  page->sent.clear();

  // Shift + drag turns the page about and sends the page nothing.
  Mouse(window, QEvent::MouseButtonPress, Qt::LeftButton, {50, 50}, Qt::ShiftModifier);
  Mouse(window, QEvent::MouseMove, Qt::NoButton, {80, 60}, Qt::ShiftModifier);
  Mouse(window, QEvent::MouseButtonRelease, Qt::LeftButton, {80, 60}, Qt::ShiftModifier);
  EXPECT_TRUE(page->sent.empty());

  // A popup the engine placed partly outside the view is drawn moved in;
  // a click on it goes to where the engine has it.
  window.PopupSize({-20, 10, 100, 50});
  Click(window, Qt::LeftButton, {200, 200});
  page->sent.clear();
  Click(window, Qt::LeftButton, {5, 5});
  EXPECT_EQ(page->sent, (std::vector<std::string>{"down 0 x1 -15,15", "up 0 x1 -15,15"}));
  page->sent.clear();
  window.PopupShow(false);
  Click(window, Qt::LeftButton, {300, 100});
  EXPECT_EQ(page->sent, (std::vector<std::string>{"down 0 x1 300,100", "up 0 x1 300,100"}));
}

class NoDelegate : public browser::BrowserHostDelegate {
 public:
  void BrowserCreated(std::shared_ptr<engine::Browser>) override {}
  void BrowserHostDestroyed() override {}
  void AddressChanged(const std::string&) override {}
  void FullscreenChanged(bool) override {}
  void LoadingStateChanged(bool, bool, bool) override {}
  void PageAvailabilityChanged(bool) override {}
  void MainDocumentCreated(const std::string&) override {}
};

TEST(OffscreenBrowserHost, DeviceScaleFactorStaysBetweenOneAndFour) {
  NoDelegate delegate;
  browser::OffscreenBrowserHost host(&delegate, "about:blank", browser::OffscreenSettings{});
  for (float refused : {0.5f, 4.5f, 1.0f}) {
    host.SetDeviceScaleFactor(refused);
    EXPECT_EQ(host.GetDeviceScaleFactor(), 1.0f) << refused;
  }
  host.SetDeviceScaleFactor(2.0f);
  EXPECT_EQ(host.GetDeviceScaleFactor(), 2.0f);
  host.SetDeviceScaleFactor(4.0f);
  EXPECT_EQ(host.GetDeviceScaleFactor(), 4.0f);
}

}  // namespace
