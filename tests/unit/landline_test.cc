// The landline capture against a fake phone-box library: opens, unplugs,
// rescans and bursts of rings on their way to the main window.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "env/window_messages.h"
#include "phonebox/control_socket.h"
#include "phonebox/modem_box.h"
#include "phonebox/sim_box.h"
#include "platform/message_box.h"
#include "telephony/landline_capture.h"
#include "telephony/page_calls.h"
#include "test_support.h"

using namespace telephony;

namespace {

// What the main window hands the page for an announced call.
std::u16string ScriptFor(int source, uintptr_t announcement) {
  const auto number = TakeCallForPage(source, announcement);
  return number ? PhoneCallScript(*number) : std::u16string();
}

class FakeLibrary : public PhoneBoxLibrary {
 public:
  int32_t Open() override {
    calls.push_back("open");
    if (throw_on_open) throw std::runtime_error("library failed");
    const int32_t result = open_results.empty() ? plugged_open.load() : open_results.front();
    if (!open_results.empty()) open_results.pop_front();
    return result;
  }
  void Close() override { calls.push_back("close"); }
  int32_t Query(int32_t channel, int32_t what) override {
    calls.push_back("query " + std::to_string(channel) + " " + std::to_string(what));
    if (what == PHONEBOX_QUERY_CHANNELS) return channels;
    return channel == without_caller_id ? 0 : PHONEBOX_CAPABILITY_CALLER_ID;
  }
  void SetEventHandler(int32_t channel, int32_t operation, PhoneBoxEventHandler h) override {
    calls.push_back((operation == PHONEBOX_HANDLER_ATTACH ? "attach " : "detach ") + std::to_string(channel));
    handler = operation == PHONEBOX_HANDLER_ATTACH ? h : nullptr;
    attached = operation == PHONEBOX_HANDLER_ATTACH ? h : nullptr;
  }
  void SetParam(int32_t channel, int32_t parameter, int32_t value) override {
    calls.push_back("param " + std::to_string(channel) + " " + std::to_string(parameter) + " " + std::to_string(value));
  }
  int32_t LastError() override { return last_error; }

  void Fire(int32_t event, const char* text = "", int32_t b = 0) {
    if (handler) handler(0, 0, event, 0, b, 0, text, nullptr);
  }
  // The box goes, and with it what was attached to it.
  void Unplug() {
    channels = 0;
    plugged_open = -1;
    Fire(PHONEBOX_EVENT_UNPLUGGED);
    attached = nullptr;
  }
  void Plug() {
    channels = 1;
    plugged_open = 1;
  }
  // A ring on the box reaches the capture only through an attached handler.
  void Ring(const char* number) {
    if (attached) attached(0, 0, PHONEBOX_EVENT_CALLER_ID, 0, 0, 0, number, nullptr);
  }

  std::vector<std::string> calls;
  std::deque<int32_t> open_results;
  std::atomic<int32_t> plugged_open{1};
  std::atomic<int32_t> channels{1};
  std::atomic<int32_t> last_error{1234};
  int32_t without_caller_id = -1;
  bool throw_on_open = false;
  // |handler| as the test fires events; |attached| as a box keeps it.
  PhoneBoxEventHandler handler = nullptr;
  PhoneBoxEventHandler attached = nullptr;
};

struct Posted {
  uint32_t message;
  uintptr_t wparam;
  intptr_t lparam;
};

// What reaches the "main window": messages posted by the capture, run on
// the test's thread when it pumps them.
class Capture : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageBoxAnswererForTesting([this](const platform::MessageBoxRequest& request) {
      EXPECT_EQ(request.caption, "提示");
      boxes.push_back(request.text);
      return platform::IDOK;
    });
  }
  void TearDown() override { platform::SetMessageBoxAnswererForTesting(nullptr); }

  std::unique_ptr<LandlineCapture> Make(bool with_library = true) {
    return std::make_unique<LandlineCapture>([this, with_library] { return with_library ? &library : nullptr; },
                                             [this](uint32_t message, uintptr_t wparam, intptr_t lparam) {
                                               std::lock_guard<std::mutex> lock(mutex);
                                               posted.push_back({message, wparam, lparam});
                                               return true;
                                             });
  }
  // Runs the posted device changes for |time|, as the main window would.
  void Pump(LandlineCapture& capture, std::chrono::milliseconds time, const std::function<bool()>& done = nullptr) {
    const auto end = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < end && !(done && done())) {
      std::vector<Posted> now;
      {
        std::lock_guard<std::mutex> lock(mutex);
        now.swap(posted);
      }
      for (const auto& message : now) {
        if (message.message == MSG_LANDLINE_DEVICE_CHANGE) {
          device_changes.push_back(message.wparam);
          capture.OnDeviceChange(message.wparam);
        } else {
          others.push_back(message);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  FakeLibrary library;
  std::vector<std::string> boxes;
  std::mutex mutex;
  std::vector<Posted> posted, others;
  std::vector<uintptr_t> device_changes;
};

const char kOpenFailed[] =
    "打开设备失败,请检查设备是否已经插入并安装了驱动,并且没有其它程序已经打开设备,错误代码：";
const char kNoCallerId[] = "没有来电显示，确定电话是否开通了来电显示的功能？检查驱动是否安装好？";

TEST(LandlineNumber, Normalization) {
  const struct {
    const char* text;
    const char* number;
  } cases[] = {
      {"138-0013-8000", "13800138000"},
      {"0138 0013 8000", "13800138000"},      // 12 characters beginning 01
      {"+86 138 0013 8000", "13800138000"},
      {"01088886666", "01088886666"},           // 11 characters: the 0 stays
      {"010-8888-66667", "1088886666" "7"},     // 12 characters beginning 01 lose the 0
      {"0210-1234-5678", "021012345678"},       // 12 but "02": unchanged
      {"", ""},
      {"- -", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeCallerNumber(c.text), c.number) << c.text;
  EXPECT_EQ(NormalizeCallerNumber(std::string(50, '7')), std::string(35, '7'));
  EXPECT_EQ(NormalizeCallerNumber("+86" + std::string(40, '5')), std::string(35, '5'));
}

TEST_F(Capture, OpenConfiguresEveryChannelOnce) {
  library.channels = 2;
  library.without_caller_id = 1;
  auto capture = Make();
  capture->OnOpenMessage();
  EXPECT_TRUE(capture->is_open());
  EXPECT_EQ(library.calls, (std::vector<std::string>{"open", "query 0 7", "query 0 7", "query 0 4", "attach 0",
                                                     "param 0 3 5", "param 0 52 7", "query 1 4", "attach 1",
                                                     "param 1 3 5", "param 1 52 7"}));
  // The channel without caller ID is named once and configured all the same.
  EXPECT_EQ(boxes, std::vector<std::string>{kNoCallerId});
  // Open already: only asked whether the box is still there.
  library.calls.clear();
  EXPECT_TRUE(capture->Open());
  EXPECT_EQ(library.calls, std::vector<std::string>{"query 0 7"});
  EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(Capture, OpenFailuresCloseTheBoxAndSayWhy) {
  const std::string with_code = kOpenFailed + std::string("1234");
  const struct {
    const char* name;
    std::deque<int32_t> opens;
    int32_t channels;
    bool throws;
    bool library;
    std::vector<std::string> boxes;
  } cases[] = {
      {"library failed", {PHONEBOX_LIBRARY_FAILED}, 1, false, true, {"DLL出错", with_code}},
      {"open fails twice", {0, -3}, 1, false, true, {with_code}},
      {"no channels", {1}, 0, false, true, {with_code}},
      {"an exception in the library", {1}, 1, true, true, {"固话捕捉打开失败，请重启软件"}},
      {"no library at all", {}, 1, false, false, {"DLL出错", kOpenFailed + std::string("-198")}},
  };
  for (const auto& c : cases) {
    library.calls.clear();
    boxes.clear();
    library.open_results = c.opens;
    library.channels = c.channels;
    library.throw_on_open = c.throws;
    auto capture = Make(c.library);
    EXPECT_FALSE(capture->Open()) << c.name;
    EXPECT_FALSE(capture->is_open()) << c.name;
    EXPECT_EQ(boxes, c.boxes) << c.name;
    if (c.library) {
      EXPECT_EQ(library.calls.back(), "close") << c.name;
    }
  }
  // A first failed open is retried once after a close.
  library.calls.clear();
  boxes.clear();
  library.throw_on_open = false;
  library.channels = 1;
  library.open_results = {0, 1};
  auto capture = Make();
  EXPECT_TRUE(capture->Open());
  EXPECT_EQ(std::vector<std::string>(library.calls.begin(), library.calls.begin() + 3),
            (std::vector<std::string>{"open", "close", "open"}));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Capture, CloseDetachesEveryChannelOfABoxThatIsThere) {
  auto capture = Make();
  capture->Open();
  library.calls.clear();
  capture->OnCloseMessage();
  EXPECT_FALSE(capture->is_open());
  EXPECT_EQ(library.calls, (std::vector<std::string>{"query 0 7", "detach 0", "close"}));
  // A box without channels is gone: nothing to detach, but it is closed
  // and no longer counts as open.
  capture->Open();
  library.channels = 0;
  library.calls.clear();
  capture->OnCloseMessage();
  EXPECT_FALSE(capture->is_open());
  EXPECT_EQ(library.calls, (std::vector<std::string>{"query 0 7", "close"}));
}

// Any order of unplugging, the page's opens and closes and plugging back:
// once the box is back and the page last asked for capture, the next ring
// reaches the main window. Capture once stayed dead after a close while
// the box was away.
TEST_F(Capture, AfterAnyUnplugAndReplugTheNextRingArrives) {
  using Steps = std::vector<std::string>;
  const std::vector<Steps> sequences{
      {"unplug", "close", "plug", "open"},
      {"unplug", "open", "plug"},          // a reload that opens on load
      {"unplug", "close", "open", "plug"},
      {"unplug", "open", "close", "plug", "open"},
      {"gone", "open", "plug"},            // unplugged without a word from the box
      {"unplug", "plug", "open"},
  };
  for (const Steps& steps : sequences) {
    const std::string name = ::testing::PrintToString(steps);
    library.Plug();
    auto capture = Make();
    capture->OnOpenMessage();
    ASSERT_TRUE(capture->is_open()) << name;
    for (const std::string& step : steps) {
      if (step == "unplug") {
        library.Unplug();
      } else if (step == "gone") {
        library.channels = 0;
        library.plugged_open = -1;
        library.attached = nullptr;
      } else if (step == "plug") {
        library.Plug();
      } else if (step == "open") {
        capture->OnOpenMessage();
      } else if (step == "close") {
        capture->OnCloseMessage();
      }
      Pump(*capture, std::chrono::milliseconds(50));
    }
    // The rescans that are running find the box within their next round.
    Pump(*capture, std::chrono::milliseconds(3000), [&] { return capture->is_open() && capture->running_rescans() == 0; });
    EXPECT_TRUE(capture->is_open()) << name;
    EXPECT_EQ(capture->running_rescans(), 0u) << name;
    others.clear();
    library.Ring("13800138000");
    Pump(*capture, std::chrono::milliseconds(50));
    {
      std::lock_guard<std::mutex> lock(mutex);
      const bool arrived = std::any_of(posted.begin(), posted.end(), [](const Posted& p) { return p.message == MSG_INCOMING_CALL; }) ||
                           std::any_of(others.begin(), others.end(), [](const Posted& p) { return p.message == MSG_INCOMING_CALL; });
      EXPECT_TRUE(arrived) << name;
      posted.clear();
    }
    capture->Shutdown();
  }
}

TEST_F(Capture, CallerIdsGoRoundTheRing) {
  auto capture = Make();
  capture->Open();
  for (int i = 0; i < 9; ++i) library.Fire(PHONEBOX_EVENT_CALLER_ID, ("0138-0013-800" + std::to_string(i)).c_str());
  library.Fire(PHONEBOX_EVENT_RING);
  library.Fire(PHONEBOX_EVENT_DEVICE_ERROR, "", PHONEBOX_DEVICE_ERROR_B);
  ASSERT_EQ(posted.size(), 9u);
  for (size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(posted[i].message, MSG_INCOMING_CALL);
    EXPECT_EQ(posted[i].lparam, CALL_SOURCE_LANDLINE);
    EXPECT_EQ(posted[i].wparam & 0xFF, i % 8);
  }
  // The ninth took slot 0: the first call's announcement finds it gone.
  EXPECT_EQ(ScriptFor(CALL_SOURCE_LANDLINE, posted[8].wparam), u"phoneCall(\"13800138008\");");
  EXPECT_EQ(ScriptFor(CALL_SOURCE_LANDLINE, posted[0].wparam), u"");
  EXPECT_EQ(ScriptFor(CALL_SOURCE_LANDLINE, posted[1].wparam), u"phoneCall(\"13800138001\");");
  EXPECT_EQ(capture->rescan_state(), kRescanIdle);
}

// A burst of rings faster than the main window reads them: each waits for
// its slot instead of overwriting a call nobody has read (once, rings
// beyond the eighth took the slots of unread ones).
TEST_F(Capture, ABurstOfRingsWaitsForTheMainWindow) {
  auto capture = Make();
  capture->Open();
  std::atomic<bool> done{false};
  std::thread rings([&] {
    for (int i = 0; i < 20; ++i) library.Fire(PHONEBOX_EVENT_CALLER_ID, ("1390013" + std::to_string(9000 + i)).c_str());
    done = true;
  });
  // The main window reads 30 ms late, a call at a time.
  std::vector<std::string> delivered;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((!done || !posted.empty()) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    std::lock_guard<std::mutex> lock(mutex);
    for (const Posted& call : posted) {
      const std::u16string script = ScriptFor(CALL_SOURCE_LANDLINE, call.wparam);
      delivered.push_back(std::string(script.begin(), script.end()));
    }
    posted.clear();
  }
  rings.join();
  ASSERT_EQ(delivered.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(delivered[i], "phoneCall(\"1390013" + std::to_string(9000 + i) + "\");");
}

// A box the library is still looking for (a modem being asked on its own
// thread): the page's open neither waits nor says it failed; the rescan
// opens the box once found, or says once that none was.
TEST_F(Capture, AnOpenWhileTheBoxIsStillSearchedForWaitsForTheSearch) {
  for (const bool found : {true, false}) {
    library.Plug();
    library.plugged_open = -1;
    library.last_error = PHONEBOX_ERROR_SEARCHING;
    auto capture = Make();
    library.calls.clear();
    capture->OnOpenMessage();
    EXPECT_FALSE(capture->is_open());
    EXPECT_EQ(library.calls, std::vector<std::string>{"open"});  // asked once, not closed and asked again
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(capture->running_rescans(), 1u);
    // The search ends.
    library.last_error = found ? 0 : 2;
    library.plugged_open = found ? 1 : -1;
    library.channels = found ? 1 : 0;
    Pump(*capture, std::chrono::milliseconds(3000), [&] { return found ? capture->is_open() : !boxes.empty(); });
    EXPECT_EQ(capture->is_open(), found);
    EXPECT_EQ(boxes, found ? std::vector<std::string>{} : std::vector<std::string>{kOpenFailed + std::string("2")});
    // Told once; the rescan goes on and opens the box when it comes.
    library.Plug();
    library.last_error = 0;
    Pump(*capture, std::chrono::milliseconds(3000), [&] { return capture->is_open() && capture->running_rescans() == 0; });
    EXPECT_TRUE(capture->is_open());
    EXPECT_LE(boxes.size(), 1u);
    boxes.clear();
    capture->Shutdown();
  }
}

TEST_F(Capture, UnplugRescansUntilTheBoxIsBack) {
  auto capture = Make();
  capture->Open();
  // Unplugged: the box has no channels and does not open.
  library.channels = 0;
  library.plugged_open = -1;
  library.Fire(PHONEBOX_EVENT_UNPLUGGED);
  library.Fire(PHONEBOX_EVENT_UNPLUGGED);
  EXPECT_EQ(capture->rescan_state(), kRescanRunning);
  EXPECT_EQ(capture->running_rescans(), 1u);  // one looks, however often asked
  Pump(*capture, std::chrono::milliseconds(2600));
  ASSERT_GE(device_changes.size(), 3u);
  EXPECT_EQ(device_changes[0], 3u);
  EXPECT_EQ(std::count(device_changes.begin(), device_changes.end(), 3u), 1);
  EXPECT_EQ(device_changes.back(), 2u);
  // The box is gone: the capture is closed.
  EXPECT_FALSE(capture->is_open());
  EXPECT_EQ(capture->running_rescans(), 1u);
  // Plugged again: the next try reopens and the rescan ends.
  library.channels = 1;
  library.plugged_open = 1;
  Pump(*capture, std::chrono::milliseconds(4000), [&] { return capture->running_rescans() == 0; });
  EXPECT_EQ(capture->running_rescans(), 0u);
  EXPECT_EQ(capture->rescan_state(), kRescanIdle);
  EXPECT_TRUE(capture->is_open());
  EXPECT_TRUE(boxes.empty());

  // A close from the page ends a rescan too.
  library.Fire(PHONEBOX_EVENT_UNPLUGGED);
  capture->OnCloseMessage();
  Pump(*capture, std::chrono::milliseconds(3000), [&] { return capture->running_rescans() == 0; });
  EXPECT_EQ(capture->running_rescans(), 0u);
}

// Each page load, F5 or crash recovery opens capture again while the box is
// away: still one rescan, one thread, asking the main window once a round.
// Rescans once piled up, a thread and a round of UI work each.
TEST_F(Capture, OpensWhileTheBoxIsAwayShareOneRescan) {
  auto threads = [] {
    size_t count = 0;
    for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) ++count;
    return count;
  };
  auto capture = Make();
  capture->Open();
  library.channels = 0;
  library.plugged_open = -1;
  library.Fire(PHONEBOX_EVENT_UNPLUGGED);
  Pump(*capture, std::chrono::milliseconds(100));
  const size_t threads_before = threads();
  for (int i = 0; i < 100; ++i) {
    capture->OnOpenMessage();
    Pump(*capture, std::chrono::milliseconds(5));
    ASSERT_EQ(capture->running_rescans(), 1u) << i;
  }
  EXPECT_LE(threads(), threads_before);
  device_changes.clear();
  Pump(*capture, std::chrono::milliseconds(2500));
  // One rescan's rounds: a try a second, not a hundred.
  EXPECT_GE(device_changes.size(), 1u);
  EXPECT_LE(device_changes.size(), 4u);
  library.Plug();
  Pump(*capture, std::chrono::milliseconds(3000), [&] { return capture->is_open() && capture->running_rescans() == 0; });
  EXPECT_TRUE(capture->is_open());
  EXPECT_EQ(capture->running_rescans(), 0u);
  capture->Shutdown();
}

TEST_F(Capture, ShutdownEndsRescansThatWaitForTheMainWindow) {
  auto capture = Make();
  capture->Open();
  library.channels = 0;
  library.Fire(PHONEBOX_EVENT_UNPLUGGED);
  // Nobody handles the device change: the rescan waits for it.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = std::chrono::steady_clock::now();
  capture->Shutdown();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(capture->running_rescans(), 0u);
  // No rescan starts once shut down.
  library.Fire(PHONEBOX_EVENT_UNPLUGGED);
  EXPECT_EQ(capture->running_rescans(), 0u);
}

}  // namespace
