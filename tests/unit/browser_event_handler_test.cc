#include <gtest/gtest.h>

#include "browser/browser_event_handler.h"
#include "browser/page_recovery.h"
#include "env/product.h"
#include "browser/request_headers.h"
#include "browser/window_registry.h"
#include "env/paths.h"
#include "env/sign_in.h"
#include "fake_engine.h"
#include "platform/ini_profile.h"
#include "platform/message_box.h"
#include "platform/sign_in_dialog.h"
#include "test_support.h"

using browser::BrowserEventHandler;
using browser::OffscreenSettings;
using browser::RootWindow;
using browser::WindowRegistry;

namespace {

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

class HandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageBoxAnswererForTesting([this](const platform::MessageBoxRequest& request) {
      boxes.push_back(request);
      return answer;
    });
  }
  void TearDown() override { platform::SetMessageBoxAnswererForTesting(nullptr); }

  std::shared_ptr<BrowserEventHandler> handler =
      std::make_shared<BrowserEventHandler>(nullptr, nullptr, false, "https://crm.example/client");
  std::shared_ptr<FakeBrowser> browser = std::make_shared<FakeBrowser>();
  std::vector<platform::MessageBoxRequest> boxes;
  int answer = platform::IDOK;
};

TEST_F(HandlerTest, LoadErrorsShowTheRightPageOrNothing) {
  // Aborted loads show nothing.
  handler->OnLoadError(browser, browser->frame, -3, "", "https://a/");
  EXPECT_TRUE(browser->frame->loaded_html.empty());
  // Unknown schemes the system took, or that are silenced.
  browser->frame->url = "spotify:track:1";
  handler->OnLoadError(browser, browser->frame, -302, "", "weird:x");
  EXPECT_TRUE(browser->frame->loaded_html.empty());
  browser->frame->url = "https://a/";
  handler->OnLoadError(browser, browser->frame, -302, "", "tencent://message");
  EXPECT_TRUE(browser->frame->loaded_html.empty());
  handler->OnLoadError(browser, browser->frame, -302, "", "Tencent://message");  // exact case only
  EXPECT_FALSE(browser->frame->loaded_html.empty());

  // Main frame: the full page at the failed address, button to the start URL.
  handler->OnLoadError(browser, browser->frame, -105, "", "https://elsewhere/");
  EXPECT_EQ(browser->frame->loaded_html_url, "https://elsewhere/");
  EXPECT_NE(Narrow(browser->frame->loaded_html).find("window.location.href=\"https://crm.example/client\""),
            std::string::npos);

  // Any other frame: the short page.
  auto iframe = std::make_shared<FakeFrame>();
  iframe->main = false;
  handler->OnLoadError(browser, iframe, -105, "", "https://frame/");
  EXPECT_EQ(Narrow(iframe->loaded_html).find("location.href"), std::string::npos);
  EXPECT_NE(Narrow(iframe->loaded_html).find("F5"), std::string::npos);
}

TEST_F(HandlerTest, AfterTheFailurePageOrF5ADeclinedSignInIsAskedAgain) {
  env::ForgetSessionCredentialsForTesting();
  int asked = 0;
  platform::SetSignInAnswererForTesting([&](const platform::SignInRequest&) {
    ++asked;
    return std::optional<platform::SignInAnswer>();
  });
  const env::SignInPlace proxy{true, "proxy.example", "Company"};
  const auto declined = [&] { return !env::CredentialsFor(proxy, std::nullopt).has_value(); };
  EXPECT_TRUE(declined());
  EXPECT_TRUE(declined());
  EXPECT_EQ(asked, 1) << "not asked again at once";
  // A sub-frame's failure is not the user's to retry.
  auto iframe = std::make_shared<FakeFrame>();
  iframe->main = false;
  handler->OnLoadError(browser, iframe, -105, "", "https://frame/");
  EXPECT_TRUE(declined());
  EXPECT_EQ(asked, 1);
  handler->OnLoadError(browser, browser->frame, -105, "", "https://crm.example/client");
  EXPECT_TRUE(declined());
  EXPECT_EQ(asked, 2) << "the failure page's retry asks";
  EXPECT_TRUE(handler->OnPreKeyEvent(browser, [] {
    engine::KeyEvent f5;
    f5.windows_key_code = 0x74;
    return f5;
  }()));
  EXPECT_TRUE(declined());
  EXPECT_EQ(asked, 3) << "F5 asks";
  platform::SetSignInAnswererForTesting(nullptr);
  env::ForgetSessionCredentialsForTesting();
}

TEST_F(HandlerTest, KeyTableWithExactlyTheKeysHeld) {
  using engine::KeyEvent;
  auto key = [](int code, uint32_t modifiers, engine::KeyEventType type = engine::KEYEVENT_RAWKEYDOWN) {
    KeyEvent event;
    event.type = type;
    event.windows_key_code = code;
    event.modifiers = modifiers;
    return event;
  };
  const uint32_t ctrl = engine::EVENTFLAG_CONTROL_DOWN, shift = engine::EVENTFLAG_SHIFT_DOWN,
                 alt = engine::EVENTFLAG_ALT_DOWN;
  EXPECT_TRUE(handler->OnPreKeyEvent(browser, key(0x74, 0)));     // F5
  EXPECT_TRUE(handler->OnPreKeyEvent(browser, key(0x74, ctrl)));  // Ctrl+F5 reloads too
  EXPECT_EQ(browser->reloads, 2);
  EXPECT_FALSE(handler->OnPreKeyEvent(browser, key(0x74, 0, engine::KEYEVENT_KEYUP)));
  EXPECT_FALSE(handler->OnPreKeyEvent(browser, key(0x52, ctrl)));  // Ctrl+R is the page's
  EXPECT_EQ(browser->reloads, 2);
  // F12 opens developer tools only with exactly Ctrl+Shift; without an
  // AppContext no window can be made, so nothing is shown.
  EXPECT_FALSE(handler->OnPreKeyEvent(browser, key(0x7B, 0)));
  EXPECT_FALSE(handler->OnPreKeyEvent(browser, key(0x7B, ctrl | shift | alt)));
  EXPECT_FALSE(handler->OnPreKeyEvent(browser, key(0x7B, ctrl | shift | engine::EVENTFLAG_COMMAND_DOWN)));
  EXPECT_TRUE(handler->OnPreKeyEvent(browser, key(0x7B, ctrl | shift)));
  // Lock keys that are on, and which Shift it is, are no keys held.
  EXPECT_TRUE(handler->OnPreKeyEvent(browser, key(0x7B, ctrl | shift | engine::EVENTFLAG_NUM_LOCK_ON |
                                                            engine::EVENTFLAG_CAPS_LOCK_ON | engine::EVENTFLAG_IS_LEFT)));
  // Ctrl+Alt+Shift+Delete asks nothing; Ctrl+Shift+Delete asks, and is not consumed.
  EXPECT_FALSE(handler->OnPreKeyEvent(browser, key(0x2E, ctrl | shift | alt)));
  EXPECT_TRUE(boxes.empty());
  answer = platform::IDCANCEL;
  EXPECT_FALSE(handler->OnPreKeyEvent(browser, key(0x2E, ctrl | shift | engine::EVENTFLAG_NUM_LOCK_ON)));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "确定删除缓存吗？");
  EXPECT_EQ(boxes[0].caption, "提示");
  EXPECT_EQ(boxes[0].flags, platform::MB_OKCANCEL);
}

TEST_F(HandlerTest, CacheClearingOnOkOnly) {
  TempDir home;
  setenv("XDG_DATA_HOME", home.str().c_str(), 1);
  const auto data = home.path() / "morvanecrm";
  std::filesystem::create_directories(data);
  WriteFile(data / "Cookies", "c");
  engine::KeyEvent event;
  event.windows_key_code = 0x2E;
  event.modifiers = engine::EVENTFLAG_CONTROL_DOWN | engine::EVENTFLAG_SHIFT_DOWN;

  answer = platform::IDCANCEL;
  handler->OnPreKeyEvent(browser, event);
  EXPECT_FALSE(std::filesystem::exists(env::GetConfigFilePath()));
  EXPECT_EQ(browser->cache_clears, 0);

  // The engine's HTTP cache goes now; the databases it holds open stay
  // until the next start clears the folder.
  answer = platform::IDOK;
  handler->OnPreKeyEvent(browser, event);
  EXPECT_EQ(platform::GetPrivateProfileString("Cache", "clearCache", "", env::GetConfigFilePath()), "1");
  EXPECT_EQ(browser->cache_clears, 1);
  EXPECT_TRUE(std::filesystem::exists(data / "Cookies"));
  unsetenv("XDG_DATA_HOME");
}

TEST_F(HandlerTest, ScriptDialogsAreNativeBoxes) {
  struct Callback : engine::JSDialogCallback {
    void Continue(bool ok, const std::u16string&) override { result = ok ? 1 : 0; }
    int result = -1;
  };
  auto callback = std::make_shared<Callback>();
  bool suppress = false;
  EXPECT_FALSE(handler->OnJSDialog(browser, "", engine::JSDIALOGTYPE_ALERT, u"hi", u"", callback, suppress));
  EXPECT_TRUE(suppress);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "提示");
  EXPECT_EQ(boxes[0].flags, platform::MB_ICONINFORMATION);

  suppress = false;
  answer = platform::IDCANCEL;
  EXPECT_TRUE(handler->OnJSDialog(browser, "", engine::JSDIALOGTYPE_CONFIRM, u"sure?", u"", callback, suppress));
  EXPECT_EQ(callback->result, 0);
  EXPECT_EQ(boxes[1].flags, platform::MB_ICONQUESTION | platform::MB_OKCANCEL);
  answer = platform::IDOK;
  handler->OnJSDialog(browser, "", engine::JSDIALOGTYPE_CONFIRM, u"sure?", u"", callback, suppress);
  EXPECT_EQ(callback->result, 1);
  EXPECT_FALSE(suppress);

  // prompt stays the engine's.
  EXPECT_FALSE(handler->OnJSDialog(browser, "", engine::JSDIALOGTYPE_PROMPT, u"name?", u"", callback, suppress));
  EXPECT_EQ(boxes.size(), 3u);
}

TEST_F(HandlerTest, HeadersAreAddedAndOthersKept) {
  FakeRequest request;
  request.headers.emplace("My-Header", "old");
  request.headers.emplace("Accept", "*/*");
  handler->OnBeforeResourceLoad(browser, request);
  EXPECT_EQ(request.headers.count("My-Header"), 2u);
  EXPECT_EQ(request.headers.count("Accept"), 1u);
  auto version = request.headers.find("My-Version");
  ASSERT_NE(version, request.headers.end());
  EXPECT_EQ(version->second, "2.6.1");

  // A cross-origin fetch would be preflighted because of them: left alone.
  FakeRequest fetch;
  fetch.type = engine::RT_XHR;
  handler->OnBeforeResourceLoad(browser, fetch);
  EXPECT_TRUE(fetch.headers.empty());
}

TEST(RequestHeaders, OnlyCorsRequestsToOtherOriginsGoWithout) {
  const struct {
    const char* name;
    engine::ResourceType type;
    const char* initiator;
    const char* url;
    bool preflight;
  } cases[] = {
      {"navigation to another site", engine::RT_MAIN_FRAME, "https://crm.example", "https://b.example/", false},
      {"sub-frame of another site", engine::RT_SUB_FRAME, "https://crm.example", "https://b.example/f", false},
      {"request of the browser itself", engine::RT_XHR, "", "https://b.example/x", false},
      {"same-origin fetch", engine::RT_XHR, "https://crm.example", "https://crm.example/api", false},
      {"same origin with the default port spelt out", engine::RT_XHR, "https://crm.example",
       "https://crm.example:443/api", false},
      {"cross-origin image", engine::RT_IMAGE, "https://crm.example", "https://cdn.example/a.png", false},
      {"cross-origin script", engine::RT_SCRIPT, "https://crm.example", "https://cdn.example/a.js", false},
      {"cross-origin style", engine::RT_STYLESHEET, "https://crm.example", "https://cdn.example/a.css", false},
      {"cross-origin fetch", engine::RT_XHR, "https://crm.example", "https://api.example/x", true},
      {"other port is another origin", engine::RT_XHR, "http://127.0.0.1:8000", "http://127.0.0.1:8001/x", true},
      {"other scheme is another origin", engine::RT_XHR, "http://crm.example", "https://crm.example/x", true},
      {"cross-origin font", engine::RT_FONT_RESOURCE, "https://crm.example", "https://cdn.example/f.woff", true},
      {"cross-origin beacon", engine::RT_PING, "https://crm.example", "https://log.example/b", true},
      {"opaque origin of a sandboxed frame", engine::RT_XHR, "null", "https://crm.example/api", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(browser::HeadersWouldCausePreflight(c.type, c.initiator, c.url), c.preflight) << c.name;
}

TEST_F(HandlerTest, RendererCrashShowsTheFailurePageOrTheStartPage) {
  // The service page: the failure page with its retry at once; the reload
  // waits (PageRecovery).
  browser->frame->url = "HTTPS://CRM.EXAMPLE/client#/customers";
  handler->OnRenderProcessTerminated(browser, engine::TS_PROCESS_CRASHED);
  EXPECT_TRUE(browser->frame->loaded_urls.empty());
  EXPECT_EQ(browser->frame->loaded_html_url, "https://crm.example/client");
  EXPECT_NE(Narrow(browser->frame->loaded_html).find("window.location.href=\"https://crm.example/client\""),
            std::string::npos);
  browser->frame->url = "";
  handler->OnRenderProcessTerminated(browser, engine::TS_PROCESS_CRASHED);
  EXPECT_TRUE(browser->frame->loaded_urls.empty());
  browser->frame->url = "https://other.example/";
  handler->OnRenderProcessTerminated(browser, engine::TS_PROCESS_CRASHED);
  ASSERT_EQ(browser->frame->loaded_urls.size(), 1u);
  EXPECT_EQ(browser->frame->loaded_urls[0], "https://crm.example/client");

  auto crash_handler = std::make_shared<BrowserEventHandler>(nullptr, nullptr, false, "chrome://crash");
  crash_handler->OnRenderProcessTerminated(browser, engine::TS_PROCESS_CRASHED);
  EXPECT_EQ(browser->frame->loaded_urls.size(), 1u);
}

// A page that keeps ending is loaded again after 1 s, 5 s, then every
// 30 s; one that lived a minute starts again at 1 s. Calls wait while it
// is down: only the reload's own load brings it back, not the failure
// page's nor a load the renderer's end overtook.
TEST(PageRecovery, WaitsGrowAndOnlyTheReloadBringsThePageBack) {
  std::vector<std::pair<std::chrono::milliseconds, std::function<void()>>> scheduled;
  browser::PageRecovery recovery([&](std::chrono::milliseconds delay, std::function<void()> task) {
    scheduled.emplace_back(delay, std::move(task));
  });
  int reloads = 0;
  auto now = browser::PageRecovery::Clock::now();
  std::vector<long> waits;
  for (int i = 0; i < 4; ++i) {
    waits.push_back(static_cast<long>(recovery.OnRendererEnded(now, [&] { ++reloads; }).count()));
    EXPECT_TRUE(recovery.page_down());
    EXPECT_FALSE(recovery.OnLoadEnd(true));  // a late load of the page that ended
    EXPECT_FALSE(recovery.OnLoadEnd(true));  // the failure page
    scheduled.back().second();
    EXPECT_FALSE(recovery.OnLoadEnd(false));  // a reload that failed keeps it down
    EXPECT_TRUE(recovery.OnLoadEnd(true));
    EXPECT_FALSE(recovery.page_down());
    now = browser::PageRecovery::Clock::now();
  }
  EXPECT_EQ(waits, (std::vector<long>{1000, 5000, 30000, 30000}));
  EXPECT_EQ(reloads, 4);
  // A page that lived long after its reload starts at 1 s again.
  EXPECT_EQ(recovery.OnRendererEnded(now + std::chrono::minutes(2), [&] { ++reloads; }).count(), 1000);
  // Only the latest end's reload runs.
  recovery.OnRendererEnded(now, [&] { reloads += 10; });
  scheduled[scheduled.size() - 2].second();
  scheduled.back().second();
  EXPECT_EQ(reloads, 14);
  EXPECT_TRUE(recovery.OnLoadEnd(true));
}

TEST_F(HandlerTest, SmallPolicies) {
  FakeMenuModel menu;
  handler->OnBeforeContextMenu(browser, menu);
  EXPECT_EQ(menu.GetCount(), 0u);
  // Text is offered with "link" too: only addresses and images are refused.
  engine::DragData text, files, link;
  text.is_fragment = true;
  files.is_file = true;
  link.is_link = link.is_fragment = true;
  const uint32_t all = engine::DRAG_OPERATION_LINK | engine::DRAG_OPERATION_COPY;
  EXPECT_FALSE(handler->OnDragEnter(browser, text, all));
  EXPECT_FALSE(handler->OnDragEnter(browser, files, engine::DRAG_OPERATION_COPY));
  EXPECT_TRUE(handler->OnDragEnter(browser, link, all));
  EXPECT_TRUE(handler->OnRequestGeolocationPermission(browser, "https://a/"));
  // Notifications for the service only; storage up to 20 MiB.
  EXPECT_TRUE(handler->OnRequestNotificationPermission(browser, env::StartUrl()));
  EXPECT_FALSE(handler->OnRequestNotificationPermission(browser, "https://elsewhere.example.org"));
  EXPECT_TRUE(handler->OnQuotaRequest(browser, "https://a/", 20971520));
  EXPECT_FALSE(handler->OnQuotaRequest(browser, "https://a/", 20971521));
}

TEST_F(HandlerTest, OnlyTheServicesPageHandsLinksToTheSystem) {
  const struct {
    const char* page;
    const char* url;
    bool main_frame;
    bool allowed;
  } cases[] = {
      {"https://crm.example/client/a", "spotify:track:1", true, true},
      {"https://crm.example/client/a", "tencent://x", true, false},        // only the one scheme
      {"https://crm.example/client/a", "spotify:track:1", false, false},  // a frame on its own
      {"https://evil.example/", "spotify:track:1", true, false},          // another site in the window
      {"", "spotify:track:1", true, false},
  };
  for (const auto& c : cases) {
    browser->frame->url = c.page;
    bool allow = false;
    handler->OnProtocolExecution(browser, c.url, c.main_frame, allow);
    EXPECT_EQ(allow, c.allowed) << c.page << " " << c.url << " " << c.main_frame;
  }
}

TEST_F(HandlerTest, WindowsOnlyByAClickOrTheServiceAndNeverWithoutEnd) {
  struct Registry : WindowRegistry {
    Registry() : WindowRegistry({}, false) {}
    std::shared_ptr<RootWindow> CreateRootWindow(bool, bool, const platform::Rect&, const std::string& url) override {
      opened.push_back(url);
      return nullptr;
    }
    std::shared_ptr<RootWindow> CreateRootWindowAsPopup(bool, bool, const engine::PopupFeatures&, engine::WindowInfo&,
                                                        std::shared_ptr<engine::Client>&,
                                                        engine::BrowserSettings&) override {
      opened.push_back("popup");
      return nullptr;
    }
    size_t window_count() const override { return count; }
    std::vector<std::string> opened;
    size_t count = 1;
  } registry;
  auto tab = [&](bool gesture, const std::string& opener) {
    return handler->OnOpenURLFromTab(browser, browser->frame, "https://crm.example/x", engine::WOD_NEW_FOREGROUND_TAB,
                                     gesture, opener);
  };
  auto popup = [&](bool gesture, const std::string& opener) {
    engine::WindowInfo info;
    std::shared_ptr<engine::Client> client;
    engine::BrowserSettings settings;
    return !handler->OnBeforePopup(browser, browser->frame, "https://crm.example/x", "", engine::WOD_NEW_POPUP, gesture,
                                   opener, engine::PopupFeatures{}, info, client, settings);
  };
  // Handled either way; opened only with a click or by the service.
  EXPECT_TRUE(tab(false, "https://evil.example"));
  EXPECT_TRUE(tab(false, ""));
  EXPECT_TRUE(registry.opened.empty());
  EXPECT_TRUE(tab(true, "https://evil.example"));
  EXPECT_TRUE(tab(false, "https://crm.example"));
  EXPECT_FALSE(popup(false, "https://evil.example"));
  EXPECT_FALSE(popup(false, "https://crm.example.evil.test"));
  EXPECT_TRUE(popup(true, "https://evil.example"));
  EXPECT_TRUE(popup(false, "https://crm.example"));
  EXPECT_EQ(registry.opened, (std::vector<std::string>{"https://crm.example/x", "https://crm.example/x", "popup", "popup"}));
  // With as many windows open as are allowed, not even the service opens one.
  registry.count = 32;
  EXPECT_FALSE(popup(true, "https://crm.example"));
  EXPECT_TRUE(tab(true, "https://crm.example"));
  EXPECT_EQ(registry.opened.size(), 4u);
}

TEST_F(HandlerTest, CertificateErrorsShowTheEnglishPageAndCancel) {
  engine::SslInfo info;
  info.cert_status = 0x4;
  info.subject = "localhost";
  info.der = "D";
  info.pem = "P";
  EXPECT_FALSE(handler->OnCertificateError(browser, -202, "https://127.0.0.1:4443/", info));
  ASSERT_EQ(browser->frame->loaded_urls.size(), 1u);
  EXPECT_EQ(browser->frame->loaded_urls[0].rfind("data:text/html;base64,", 0), 0u);
}

}  // namespace
