#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "build_config.h"
#include "env/external_links.h"
#include "platform/desktop_services.h"
#include "renderer/app_extension.h"
#include "renderer/kestrin_extension.h"
#include "renderer/service_frames.h"
#include "telephony/call_ring.h"
#include "telephony/mobile_call_listener.h"
#include "telephony/page_calls.h"

using namespace telephony;

namespace {

// What the main window hands the page for an announced call.
std::u16string ScriptFor(int source, uintptr_t announcement) {
  const auto number = TakeCallForPage(source, announcement);
  return number ? PhoneCallScript(*number) : std::u16string();
}

std::string Bytes(const char* text, size_t length) { return std::string(text, length); }

TEST(CallDatagram, Parsing) {
  struct Case {
    std::string datagram;
    bool accepted;
    std::string number;
  } cases[] = {
      {"tel:13800138000", true, "13800138000"},
      {"tel:+8613800138000", true, "13800138000"},
      {"tel:+8", true, "+8"},                  // too short for "+86": taken as it is
      {"tel:", true, ""},
      {"TEL:13800138000", false, ""},          // exact, lower case
      {"te", false, ""},                        // shorter than "tel:"
      {"", false, ""},
      {Bytes("tel:123\0" "456", 11), true, "123"},  // stops at a zero byte
      {"tel:" + std::string(70, '9'), true, std::string(63, '9')},
  };
  for (const Case& c : cases) {
    std::string number = "untouched";
    EXPECT_EQ(ParseCallDatagram(c.datagram.data(), c.datagram.size(), number), c.accepted) << c.datagram;
    if (c.accepted) {
      EXPECT_EQ(number, c.number) << c.datagram;
    }
  }
  // Only 68 bytes are looked at: "tel:+86" then 61 digits.
  const std::string long_one = "tel:+86" + std::string(100, '1');
  std::string number;
  ASSERT_TRUE(ParseCallDatagram(long_one.data(), long_one.size(), number));
  EXPECT_EQ(number.size(), 61u);
}

TEST(MobileListener, RingSlotsAndDelivery) {
  MobileCallTable table;
  bool enabled = true;
  std::vector<size_t> announced;
  // Nobody reads the calls here: a slot is reused at once.
  MobileCallListener listener(
      table, [&] { return enabled; },
      [&](uintptr_t announcement) {
        announced.push_back(announcement & 0xFF);
        return true;
      },
      std::chrono::milliseconds(0));
  for (int i = 0; i < 9; ++i) {
    const std::string datagram = "tel:1380000000" + std::to_string(i);
    listener.HandleDatagram(datagram.data(), datagram.size());
  }
  // Nine calls use slots 0-7 and then 0 again.
  ASSERT_EQ(announced.size(), 9u);
  EXPECT_EQ(announced.back(), 0u);
  EXPECT_EQ(table.Read(0), "13800000008");
  EXPECT_EQ(table.Read(7), "13800000007");

  // A datagram that is no call clears the slot the next call will use,
  // and does not advance.
  listener.HandleDatagram("hello", 5);
  EXPECT_EQ(table.Read(1), "");
  EXPECT_EQ(listener.next_slot(), 1u);

  // With delivery off the ring still fills, silently.
  enabled = false;
  listener.HandleDatagram("tel:555", 7);
  EXPECT_EQ(announced.size(), 9u);
  EXPECT_EQ(table.Read(1), "555");
  EXPECT_EQ(listener.next_slot(), 2u);
}

TEST(MobileListener, NoSocketIsNotAPortConflict) {
  // Without a free descriptor the socket itself cannot be made; tried in a
  // child, whose descriptor limit goes down to 0.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit none{0, 0};
    setrlimit(RLIMIT_NOFILE, &none);
    MobileCallTable table;
    telephony::MobileCallListener listener(table, [] { return true; }, [](uintptr_t) { return true; });
    _exit(listener.Start(0) == telephony::MobileCallListener::StartResult::kNoSocket ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(MobileListener, AnotherUserCannotShareThePort) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  MobileCallTable table;
  telephony::MobileCallListener listener(table, [] { return true; }, [](uintptr_t) { return true; });
  // An ephemeral port: bind 0 elsewhere first to learn a free one.
  const int probe = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  socklen_t length = sizeof(address);
  ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  close(probe);
  ASSERT_EQ(listener.Start(ntohs(address.sin_port)), telephony::MobileCallListener::StartResult::kStarted);
  // Another account asks to share the address, as a call thief would.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(4242) != 0 || setuid(4242) != 0) _exit(2);
    const int thief = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(thief, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    _exit(bind(thief, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 && errno == EADDRINUSE ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "exit " << WEXITSTATUS(status);
}

TEST(CallDelivery, ScriptsAreSafeStringLiterals) {
  EXPECT_EQ(EscapeForScriptString("13800138000"), u"13800138000");
  EXPECT_EQ(EscapeForScriptString("+86"), u"+86");
  EXPECT_EQ(EscapeForScriptString("1\");alert(1);//"), u"1\\\");alert(1);//");
  EXPECT_EQ(EscapeForScriptString("a\\b"), u"a\\\\b");
  EXPECT_EQ(EscapeForScriptString("a\nb\rc"), u"a\\u000Ab\\u000Dc");
  EXPECT_EQ(EscapeForScriptString("a\xE2\x80\xA8" "b\xE2\x80\xA9"), u"a\\u2028b\\u2029");
  EXPECT_EQ(EscapeForScriptString("\xFF" "1\xC3"), u"\uFFFD" "1\uFFFD");  // not UTF-8
  EXPECT_EQ(EscapeForScriptString("\xC0\xAF"), u"\uFFFD\uFFFD");        // overlong "/"
  EXPECT_EQ(EscapeForScriptString("你好"), u"你好");

  // A landline, a mobile and a SIP call in slot 2 are told apart by the source.
  const uint64_t mobile = GetMobileCallTable().Store(2, "139", 3);
  const uint64_t landline = GetLandlineCallTable().Store(2, "0571", 4);
  EXPECT_EQ(ScriptFor(CALL_SOURCE_MOBILE, CallAnnouncement(2, mobile)), u"phoneCall(\"139\");");
  EXPECT_EQ(ScriptFor(CALL_SOURCE_LANDLINE, CallAnnouncement(2, landline)), u"phoneCall(\"0571\");");
  const uint64_t sip = GetSipCallTable().Store(2, "1001", 4);
  EXPECT_EQ(ScriptFor(CALL_SOURCE_SIP, CallAnnouncement(2, sip)), u"phoneCall(\"1001\");");
  // A source that is none of the three reads no table.
  GetMobileCallTable().Store(7, "7", 1);
  EXPECT_EQ(ScriptFor(1, 7), u"");
  EXPECT_EQ(ScriptFor(CALL_SOURCE_MOBILE, 8), u"");
  EXPECT_EQ(ScriptFor(CALL_SOURCE_MOBILE, 3), u"phoneCall(\"\");");  // an empty slot
}

TEST(CallDelivery, ABurstWaitsForTheMainWindowInsteadOfOverwriting) {
  MobileCallTable table;
  std::mutex mutex;
  std::condition_variable posted;
  std::deque<uintptr_t> queue;
  bool window_gone = false;
  MobileCallListener listener(table, [] { return true; }, [&](uintptr_t a) {
    std::lock_guard<std::mutex> lock(mutex);
    if (window_gone) return false;
    queue.push_back(a);
    posted.notify_all();
    return true;
  });
  // A main window that reads its messages 30 ms late, as when it is busy.
  std::vector<std::string> delivered;
  std::thread window([&] {
    for (int read = 0; read < 20; ++read) {
      std::unique_lock<std::mutex> lock(mutex);
      posted.wait(lock, [&] { return !queue.empty(); });
      const uintptr_t announcement = queue.front();
      queue.pop_front();
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      std::string number;
      if (table.TakeForDelivery(announcement & 0xFF, announcement >> 8, number)) delivered.push_back(number);
    }
  });
  std::vector<std::string> sent;
  for (int i = 0; i < 20; ++i) {
    sent.push_back(std::to_string(2000 + i));
    const std::string datagram = "tel:" + sent.back();
    listener.HandleDatagram(datagram.data(), datagram.size());
  }
  window.join();
  EXPECT_EQ(delivered, sent);

  // No window to post to: nothing to wait for, the ring goes round at once.
  window_gone = true;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 9; ++i) listener.HandleDatagram("tel:1", 5);
  EXPECT_LT(std::chrono::steady_clock::now() - start, kSlotWait);
}

TEST(CallDelivery, EveryCallOnceAndNeverAnotherInItsPlace) {
  MobileCallTable table;
  std::vector<uintptr_t> announced;
  MobileCallListener listener(
      table, [] { return true; },
      [&](uintptr_t a) {
        announced.push_back(a);
        return true;
      },
      std::chrono::milliseconds(20));
  // Nine calls and the first is not read in time: its slot is taken by
  // the ninth, so it is dropped, and the rest arrive once each.
  for (int i = 1; i <= 9; ++i) {
    const std::string datagram = "tel:" + std::to_string(1000 + i);
    listener.HandleDatagram(datagram.data(), datagram.size());
  }
  std::vector<std::string> delivered;
  for (uintptr_t announcement : announced) {
    std::string number;
    if (table.TakeForDelivery(announcement & 0xFF, announcement >> 8, number)) delivered.push_back(number);
  }
  EXPECT_EQ(delivered, (std::vector<std::string>{"1002", "1003", "1004", "1005", "1006", "1007", "1008", "1009"}));
  // A message handled twice delivers nothing the second time.
  std::string number;
  EXPECT_FALSE(table.TakeForDelivery(announced.back() & 0xFF, announced.back() >> 8, number));
}

TEST(PortUsers, ProcNetUdpParsing) {
  const std::string udp =
      "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode ref pointer drops\n"
      "  481: 00000000:D116 00000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 91234 2 0 0\n"
      "  482: 0100007F:0035 00000000:0000 07 00000000:00000000 00:00000000 00000000   101        0 555 2 0 0\n"
      "garbage line\n";
  EXPECT_EQ(SocketInodesOnPort(udp, 53526), (std::vector<unsigned long>{91234}));
  EXPECT_TRUE(SocketInodesOnPort(udp, 80).empty());
  const std::string udp6 =
      "  sl  local_address                         remote_address                        st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode ref pointer drops\n"
      "  9: 00000000000000000000000000000000:D116 00000000000000000000000000000000:0000 07 00000000:00000000 00:00000000 00000000     0        0 777 2 0 0\n";
  EXPECT_EQ(SocketInodesOnPort(udp6, 53526), (std::vector<unsigned long>{777}));
}

TEST(Keyboard, InputDevicesList) {
  const std::string keyboard =
      "I: Bus=0011 Vendor=0001 Product=0001 Version=ab41\nN: Name=\"AT Translated Set 2 keyboard\"\n"
      "H: Handlers=sysrq kbd event0 leds\nB: EV=120013\n\n";
  const std::string power_button = "N: Name=\"Power Button\"\nH: Handlers=kbd event1\nB: EV=3\n\n";
  const std::string mouse = "N: Name=\"Mouse\"\nH: Handlers=mouse0 event2\nB: EV=17\n";
  EXPECT_TRUE(platform::DevicesListKeyboard(power_button + keyboard + mouse));
  EXPECT_FALSE(platform::DevicesListKeyboard(power_button + mouse));  // keys, but no repeat: not a keyboard
  EXPECT_FALSE(platform::DevicesListKeyboard(""));
}

// The page's stubs, one a call of the table, exactly as the page has
// always had them.
TEST(AppExtension, SourceIsThePagesOwn) {
  EXPECT_EQ(renderer::AppExtensionSource(),
      "var app;if (!app) app = {};(function() {"
      "  app.rootDefaultBrowser = function(arg1) { native function rootDefaultBrowser(); return rootDefaultBrowser(arg1);  };"
      "  app.getSoftInfo = function() { native function getSoftInfo(); return getSoftInfo();  };"
      "  app.copyUnicodeText = function(arg1) { native function copyUnicodeText(); return copyUnicodeText(arg1);  };"
      "  app.copyText = function(arg1) { native function copyText(); return copyText(arg1);  };"
      "  app.isMultiScreen = function() { native function isMultiScreen(); return isMultiScreen();  };"
      "  app.getViceScreenRegion = function() { native function getViceScreenRegion(); return getViceScreenRegion();  };"
      "  app.getScreenCount = function() { native function getScreenCount(); return getScreenCount();  };"
      "  app.setExtendDualview = function() { native function setExtendDualview(); return setExtendDualview();  };"
      "  app.startLandlineCapture = function() { native function startLandlineCapture(); return startLandlineCapture();  };"
      "  app.closeLandlineCapture = function() { native function closeLandlineCapture(); return closeLandlineCapture();  };"
      "  app.hasKeyboard = function() { native function hasKeyboard(); return hasKeyboard();  };"
      "  app.setFullScreen = function(arg1) { native function setFullScreen(); return setFullScreen(arg1);  };"
      "})();");
}

TEST(AppExtension, ArgumentRulesAndUnknownNames) {
  using engine::V8Value;
  EXPECT_EQ(renderer::AppExtensionHandler::FullScreenMode({V8Value::CreateBool(true)}), 1);
  EXPECT_EQ(renderer::AppExtensionHandler::FullScreenMode({V8Value::CreateBool(false)}), 0);
  EXPECT_EQ(renderer::AppExtensionHandler::FullScreenMode({V8Value::CreateUndefined()}), 2);
  EXPECT_EQ(renderer::AppExtensionHandler::FullScreenMode({}), 2);
  EXPECT_EQ(renderer::AppExtensionHandler::FullScreenMode({V8Value::CreateString(u"1")}), -1);
  EXPECT_EQ(renderer::AppExtensionHandler::FullScreenMode({V8Value::CreateInt(1)}), -1);

  renderer::AppExtensionHandler handler;
  V8Value retval = V8Value::CreateUndefined();
  std::u16string exception;
  engine::ScopedCallerOrigin service("https://" VELTRO_SERVICE_HOST);
  EXPECT_TRUE(handler.Execute("rootDefaultBrowser", {V8Value::CreateString(u"")}, retval, exception));
  EXPECT_FALSE(retval.GetBoolValue());
  handler.Execute("rootDefaultBrowser", {V8Value::CreateInt(5)}, retval, exception);
  EXPECT_FALSE(retval.GetBoolValue());
  handler.Execute("copyText", {V8Value::CreateInt(5)}, retval, exception);
  EXPECT_TRUE(retval.IsBool());
  EXPECT_FALSE(retval.GetBoolValue());
  handler.Execute("setFullScreen", {V8Value::CreateString(u"yes")}, retval, exception);
  EXPECT_EQ(retval.GetIntValue(), 4);
  EXPECT_TRUE(exception.empty());
  EXPECT_TRUE(handler.Execute("nope", {}, retval, exception));
  EXPECT_EQ(exception, u"Invalid method arguments");

  renderer::KestrinExtensionHandler kestrin;
  std::u16string kestrin_exception;
  V8Value opened = V8Value::CreateUndefined();
  // No main window: nothing to tell, so false.
  kestrin.Execute("startListenPNThread", {}, opened, kestrin_exception);
  EXPECT_TRUE(opened.IsBool());
  EXPECT_FALSE(opened.GetBoolValue());
  V8Value closed = V8Value::CreateUndefined();
  kestrin.Execute("closeListenPNThread", {}, closed, kestrin_exception);
  EXPECT_TRUE(closed.IsUndefined());
  kestrin.Execute("other", {}, closed, kestrin_exception);
  EXPECT_EQ(kestrin_exception, u"Invalid method arguments");
}

TEST(AppExtension, OnlyTheServiceActsOutsideThePage) {
  using engine::V8Value;
  renderer::AppExtensionHandler app;
  renderer::KestrinExtensionHandler kestrin;
  // The answers a frame gets when the call cannot be made: nothing reaches
  // the clipboard, the browser, the displays or the main window.
  const struct {
    const char* name;
    engine::V8ValueList arguments;
    const char* answer;
  } calls[] = {
      {"rootDefaultBrowser", {V8Value::CreateString(u"https://a.example/")}, "false"},
      {"copyText", {V8Value::CreateString(u"x")}, "false"},
      {"copyUnicodeText", {V8Value::CreateString(u"x")}, "false"},
      {"setExtendDualview", {}, "false"},
      {"setFullScreen", {V8Value::CreateBool(true)}, "1"},
      {"setFullScreen", {V8Value::CreateString(u"x")}, "4"},
      {"startLandlineCapture", {}, "undefined"},
      {"closeLandlineCapture", {}, "undefined"},
      {"startListenPNThread", {}, "false"},
      {"closeListenPNThread", {}, "undefined"},
  };
  auto shown = [](const V8Value& value) -> std::string {
    if (value.IsBool()) return value.GetBoolValue() ? "true" : "false";
    if (value.IsInt()) return std::to_string(value.GetIntValue());
    return value.IsUndefined() ? "undefined" : "other";
  };
  for (const char* origin : {"", "null", "about:console", "https://evil.example", "http://" VELTRO_SERVICE_HOST,
                             "https://" VELTRO_SERVICE_HOST ".evil.test", "https://" VELTRO_SERVICE_HOST ":8443"}) {
    engine::ScopedCallerOrigin caller(origin);
    for (const auto& call : calls) {
      V8Value retval = V8Value::CreateUndefined();
      std::u16string exception;
      engine::V8Handler& handler = std::string(call.name).find("PN") != std::string::npos
                                       ? static_cast<engine::V8Handler&>(kestrin)
                                       : static_cast<engine::V8Handler&>(app);
      EXPECT_TRUE(handler.Execute(call.name, call.arguments, retval, exception));
      EXPECT_EQ(shown(retval), call.answer) << call.name << " from " << origin;
      EXPECT_TRUE(exception.empty());
    }
    // What only reads stays open to every frame.
    V8Value count = V8Value::CreateUndefined();
    std::u16string exception;
    app.Execute("getScreenCount", {}, count, exception);
    EXPECT_GE(count.GetIntValue(), 1) << origin;
  }
  // The one-way channel vouches for no frame, and says so to the page.
  EXPECT_EQ(kestrin.OneWayAnswer("startListenPNThread"), "function () { return false; }");
  // Capture may be stopped from it (the service's own leave handlers) by
  // a frame that registered as the service's; never started.
  const std::string service = "https://" VELTRO_SERVICE_HOST;
  {
    engine::ScopedCallerOrigin one_way("about:console", service);
    EXPECT_TRUE(renderer::CallerMayStopCapture("closeListenPNThread"));
    EXPECT_FALSE(renderer::CallerIsService("startListenPNThread"));
  }
  // A frame of another site, or one that registered nothing (it wrote the
  // marker without a token of its own), stays refused.
  for (const char* registered : {"https://evil.example", "", "about:blank", "null"}) {
    engine::ScopedCallerOrigin one_way("about:console", registered);
    EXPECT_FALSE(renderer::CallerMayStopCapture("closeListenPNThread")) << registered;
  }
  {
    engine::ScopedCallerOrigin frame("https://evil.example", service);
    EXPECT_FALSE(renderer::CallerMayStopCapture("closeLandlineCapture"));
  }
  engine::ScopedCallerOrigin service_frame(service);
  EXPECT_TRUE(renderer::CallerMayStopCapture("closeLandlineCapture"));
  EXPECT_EQ(app.OneWayAnswer("copyText"), "function () { return false; }");
}

TEST(AppExtension, ExternalLinksWithHiddenOrTurningCharactersAreRefused) {
  const struct {
    const char* url;
    bool opened;
  } cases[] = {
      {"https://a.example/\u62a5\u8868", true},  // Chinese is text a person reads
      {"https://a.example/x\u00a0y", false},      // no-break space
      {"https://a.example/\u202egnp.exe", false}, // right-to-left override
      {"https://a.example/\u0085x", false},       // next line
      {"https://a.example/\u2028x", false},       // line separator
      {"https://a.example/\u200bx", false},       // zero-width space
      {"https://a.example/\u2066x", false},       // isolate
      {"https://a.example/\u3000x", false},       // ideographic space
      {"https://a.example/\ufeffx", false},
      {"https://a.example/\xff", false},          // not UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(env::IsExternallyOpenableUrl(c.url), c.opened) << c.url;
}

TEST(AppExtension, SoftInfoHasFourPairs) {
  const std::u16string info = renderer::AppExtensionHandler::SoftInfo();
  EXPECT_EQ(info.rfind(u"soft_sign:crm;soft_name:VeltroCRM客户管理系统;soft_url:", 0), 0u);
  const std::u16string tail = u";soft_version:2.6.1";
  EXPECT_EQ(info.substr(info.size() - tail.size()), tail);
  EXPECT_EQ(std::count(info.begin(), info.end(), u';'), 3);
}

}  // namespace
