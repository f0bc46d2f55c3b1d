// The phone-box library's own boxes: the simulated one over its control
// socket, the modem one against a pseudo-terminal that plays a modem.
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
#include "test_support.h"

using namespace telephony;

namespace {

// Events a box emitted, in order.
class RecordingSink : public phonebox::EventSink {
 public:
  void Emit(int channel, int event, int, int b, int, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex);
    events.push_back(std::to_string(channel) + ":" + std::to_string(event) + ":" + std::to_string(b) + ":" + text);
  }
  std::vector<std::string> Events() {
    std::lock_guard<std::mutex> lock(mutex);
    return events;
  }
  std::mutex mutex;
  std::vector<std::string> events;
};

TEST(SimulatedBox, CommandsOverTheControlSocket) {
  TempDir folder;
  const std::string path = folder.str() + "/box.sock";
  RecordingSink sink;
  phonebox::SimBox box(sink, path);
  ASSERT_TRUE(box.listening());
  std::string reply;
  ASSERT_TRUE(phonebox::SendControlCommand(path, "status", reply));
  EXPECT_EQ(reply, "ok plugged=1 open=0 channels=1 no-callerid= fail-open=off");
  EXPECT_TRUE(phonebox::SendControlCommand(path, "ring 123", reply));
  EXPECT_EQ(reply, "error: the box is not open");

  ASSERT_EQ(box.Open(), 1);
  EXPECT_EQ(box.Channels(), 1);
  EXPECT_EQ(box.Capabilities(0), PHONEBOX_CAPABILITY_CALLER_ID);
  ASSERT_TRUE(phonebox::SendControlCommand(path, "ring 0138-0013-8000", reply));
  EXPECT_EQ(reply, "ok rang 0138-0013-8000");
  ASSERT_TRUE(phonebox::SendControlCommand(path, "device-error", reply));
  ASSERT_TRUE(phonebox::SendControlCommand(path, "unplug", reply));
  EXPECT_EQ(sink.Events(), (std::vector<std::string>{"0:2:0:", "0:4:0:0138-0013-8000", "-1:199:3:", "-1:195:0:"}));
  // Unplugged: no channels, and open fails until plugged.
  EXPECT_EQ(box.Channels(), 0);
  box.Close();
  EXPECT_LE(box.Open(), 0);
  EXPECT_EQ(box.LastError(), 2);
  ASSERT_TRUE(phonebox::SendControlCommand(path, "plug", reply));
  EXPECT_EQ(box.Open(), 1);

  // The box's shape and failures, and what it refuses.
  const struct {
    const char* command;
    const char* reply;
  } cases[] = {
      {"channels 3", "ok channels 3"},
      {"no-callerid 1", "ok no-callerid 1"},
      {"fail-open -198", "ok fail-open -198"},
      {"channels 33", "error: channels 0-32"},
      {"channels x", "error: channels 0-32"},
      {"fail-open 5", "error: fail-open CODE (0 or below) or off"},
      {"no-callerid 99999999999999", "error: no-callerid CHANNEL"},
      {"explode", nullptr},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(phonebox::SendControlCommand(path, c.command, reply)) << c.command;
    if (c.reply) {
      EXPECT_EQ(reply, c.reply) << c.command;
    } else {
      EXPECT_EQ(reply.rfind("error: unknown command", 0), 0u) << reply;
    }
  }
  EXPECT_EQ(box.Capabilities(1), 0);
  EXPECT_EQ(box.Capabilities(2), PHONEBOX_CAPABILITY_CALLER_ID);
  box.Close();
  EXPECT_EQ(box.Open(), PHONEBOX_LIBRARY_FAILED);
  EXPECT_EQ(box.LastError(), PHONEBOX_LIBRARY_FAILED);
  ASSERT_TRUE(phonebox::SendControlCommand(path, std::string(2000, 'x'), reply));
  EXPECT_EQ(reply.rfind("error", 0), 0u);

  // A second box does not take over a socket that answers.
  RecordingSink other_sink;
  phonebox::SimBox other(other_sink, path);
  EXPECT_FALSE(other.listening());
  EXPECT_TRUE(phonebox::SendControlCommand(path, "status", reply));
}

// Plays a modem on the master side of a pseudo-terminal: answers OK to
// AT commands, or ERROR to those in |refused|.
class PlayedModem {
 public:
  explicit PlayedModem(std::vector<std::string> refused) : refused_(std::move(refused)) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    device_ = ptsname(master_);
    thread_ = std::thread([this] { Answer(); });
  }
  ~PlayedModem() { Unplug(); }
  void Say(const std::string& text) {
    if (write(master_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) ADD_FAILURE() << "write";
  }
  void Unplug() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  const std::string& device() const { return device_; }
  std::vector<std::string> Commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
  }

 private:
  void Answer() {
    std::string pending;
    while (!stop_) {
      pollfd ready{master_, POLLIN, 0};
      if (poll(&ready, 1, 50) != 1 || !(ready.revents & POLLIN)) continue;
      char buffer[128];
      const ssize_t got = read(master_, buffer, sizeof(buffer));
      if (got <= 0) continue;
      pending.append(buffer, got);
      for (size_t end; (end = pending.find('\r')) != std::string::npos;) {
        const std::string command = pending.substr(0, end);
        pending.erase(0, end + 1);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          commands_.push_back(command);
        }
        const bool refused = std::find(refused_.begin(), refused_.end(), command) != refused_.end();
        Say(refused ? "\r\nERROR\r\n" : "\r\nOK\r\n");
      }
    }
  }
  std::vector<std::string> refused_;
  int master_ = -1;
  std::string device_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> commands_;
  std::thread thread_;
};

bool WaitUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 300 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

TEST(ModemBox, CallerIdLinesAndUnplug) {
  PlayedModem modem({"AT+VCID=1"});
  ASSERT_FALSE(modem.device().empty());
  RecordingSink sink;
  phonebox::ModemBox box(sink, modem.device());
  ASSERT_EQ(box.Open(), 1);
  // +VCID refused: the other caller-ID command is tried and works.
  EXPECT_EQ(modem.Commands(), (std::vector<std::string>{"AT", "ATE0", "AT+VCID=1", "AT#CID=1"}));
  EXPECT_EQ(box.Channels(), 1);
  EXPECT_EQ(box.Capabilities(0), PHONEBOX_CAPABILITY_CALLER_ID);
  modem.Say("\r\nRING\r\n\r\nDATE = 1207\r\nTIME = 1300\r\nNMBR = 0138-0013-8000\r\nNAME = ZHANG\r\n");
  modem.Say("NMBR=13900139000\r\n" + std::string(2000, 'z') + "\r\nNMBR = \r\n");
  ASSERT_TRUE(WaitUntil([&] { return sink.Events().size() >= 3; }));
  EXPECT_EQ(sink.Events(), (std::vector<std::string>{"0:2:0:", "0:4:0:0138-0013-8000", "0:4:0:13900139000"}));
  modem.Unplug();
  ASSERT_TRUE(WaitUntil([&] { return sink.Events().size() == 4; }));
  EXPECT_EQ(sink.Events().back(), "-1:195:0:");
  EXPECT_EQ(box.Channels(), 0);
  box.Close();
  EXPECT_LE(box.Open(), 0);
}

// A port that never answers once held the UI thread 2 s an open and a
// rescan: now the open says the box is still searched for after 40 ms, the
// search goes on by itself, and a later open gives what it found.
TEST(ModemBox, AQuietPortDoesNotHoldTheOpen) {
  const int quiet = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(quiet, 0);
  ASSERT_EQ(grantpt(quiet), 0);
  ASSERT_EQ(unlockpt(quiet), 0);
  RecordingSink sink;
  phonebox::ModemBox box(sink, ptsname(quiet));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_LE(box.Open(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(box.LastError(), PHONEBOX_ERROR_SEARCHING);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (box.Open() <= 0 && box.LastError() != 5 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(box.LastError(), 5);  // no answer
  close(quiet);
}

TEST(ModemBox, AModemWithoutCallerIdAndNoModem) {
  PlayedModem modem({"AT+VCID=1", "AT#CID=1"});
  RecordingSink sink;
  phonebox::ModemBox box(sink, modem.device());
  ASSERT_EQ(box.Open(), 1);
  EXPECT_EQ(box.Capabilities(0), 0);
  box.Close();
  phonebox::ModemBox missing(sink, "/dev/nonexistent-modem");
  EXPECT_LE(missing.Open(), 0);
  EXPECT_NE(missing.LastError(), 0);
}

}  // namespace

namespace {

// One tty of a fake /sys: its device folder with |files|, and a driver link.
void AddTty(const std::filesystem::path& sys, const std::string& name, const std::string& driver,
            const std::vector<std::pair<std::string, std::string>>& files) {
  const std::filesystem::path device = sys / "devices" / name;
  std::filesystem::create_directories(device);
  std::filesystem::create_directories(sys / "drivers" / driver);
  std::filesystem::create_symlink(sys / "drivers" / driver, device / "driver");
  for (const auto& [file, text] : files) WriteFile(device / file, text + "\n");
  std::filesystem::create_directories(sys / "class" / "tty" / name);
  std::filesystem::create_symlink(device, sys / "class" / "tty" / name / "device");
  WriteFile(sys / "dev" / name, "");
}

}  // namespace

// Only what the kernel calls a modem is ever sent "AT": boards, GPS
// receivers and plain serial adapters are left alone.
TEST(ModemBox, OnlyModemsAreSearched) {
  TempDir temp;
  const std::filesystem::path sys = temp.path() / "sys";
  std::filesystem::create_directories(sys / "dev");
  const auto acm = [](const char* protocol) {
    return std::vector<std::pair<std::string, std::string>>{
        {"bInterfaceClass", "02"}, {"bInterfaceSubClass", "02"}, {"bInterfaceProtocol", protocol}};
  };
  AddTty(sys, "ttyACM0", "cdc_acm", acm("01"));  // a V.250 modem
  AddTty(sys, "ttyACM1", "cdc_acm", acm("00"));  // an Arduino board
  AddTty(sys, "ttyACM2", "cdc_acm", acm("ff"));  // vendor protocol
  AddTty(sys, "ttyUSB0", "ftdi_sio", {});        // a plain serial adapter
  AddTty(sys, "ttyUSB1", "option", {});          // a cellular modem
  AddTty(sys, "ttyS0", "serial8250", {});
  std::filesystem::create_directories(sys / "dev" / "ttyUSB9");  // no sysfs entry at all
  const std::string dev = (sys / "dev").string();
  EXPECT_EQ(phonebox::CandidateModemDevices(sys.string(), dev),
            (std::vector<std::string>{dev + "/ttyACM0", dev + "/ttyUSB1"}));
  EXPECT_TRUE(phonebox::CandidateModemDevices((temp.path() / "nothing").string(), dev).empty());
}

// A port another program has open is not opened, and so not disturbed.
TEST(ModemBox, AnotherProgramsPortIsLeftAlone) {
  PlayedModem modem({});
  ASSERT_FALSE(modem.device().empty());
  const pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    execl("/bin/sh", "sh", "-c", ("exec sleep 30 < " + modem.device()).c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!phonebox::IsTtyOpenElsewhere("/proc", modem.device()) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(phonebox::IsTtyOpenElsewhere("/proc", modem.device()));
  RecordingSink sink;
  phonebox::ModemBox box(sink, modem.device());
  const auto settled_open = [&box] {
    int result = box.Open();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (result <= 0 && box.LastError() == PHONEBOX_ERROR_SEARCHING && std::chrono::steady_clock::now() < until)
      result = box.Open();
    return result;
  };
  EXPECT_LE(settled_open(), 0);
  EXPECT_EQ(box.LastError(), EBUSY);
  EXPECT_TRUE(modem.Commands().empty());
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_FALSE(phonebox::IsTtyOpenElsewhere("/proc", modem.device()));
  EXPECT_EQ(settled_open(), 1);  // with the port free, a later open takes it
  box.Close();
}
