#include "telephony/landline_capture.h"

#include <utility>

#include <cstring>

#include "env/logs.h"
#include "env/system_integration.h"
#include "env/window_messages.h"
#include "platform/message_box.h"
#include "platform/ui_stall_watchdog.h"

namespace telephony {

namespace {

constexpr int32_t kMaxChannels = 32;
constexpr int32_t kChannelParameter = 3, kChannelParameterValue = 5;
constexpr int32_t kSecondChannelParameter = 52, kSecondChannelParameterValue = 7;
constexpr auto kRescanPause = std::chrono::milliseconds(1000);

// The capture the library's handler reaches; the handler is a plain
// function, the library knows nothing else.
std::atomic<LandlineCapture*> g_capture{nullptr};

int OnPhoneBoxEvent(int32_t, int32_t, int32_t event, int32_t, int32_t b, int32_t, const char* text, const void*) {
  // The text is copied before use: the library's buffer is its own.
  char copied[PHONEBOX_TEXT_BYTES] = {};
  if (text) std::strncpy(copied, text, sizeof(copied) - 1);
  LandlineCapture* capture = g_capture;
  return capture ? capture->OnEvent(event, b, copied) : 1;
}

void ShowNotice(const std::string& text) { platform::ShowMessageBox(nullptr, text, "提示", platform::MB_OK); }

}  // namespace

std::string NormalizeCallerNumber(const std::string& text) {
  std::string number;
  for (char c : text)
    if (c != ' ' && c != '-') number += c;
  if (number.size() == 12 && number.rfind("01", 0) == 0) number.erase(0, 1);
  if (number.rfind("+86", 0) == 0) number.erase(0, 3);
  if (number.size() > kLandlineNumberBytes) number.resize(kLandlineNumberBytes);
  return number;
}

LandlineCapture::LandlineCapture(std::function<PhoneBoxLibrary*()> library, PostToMainWindow post)
    : library_(std::move(library)), post_(std::move(post)) {
  g_capture = this;
}

LandlineCapture::~LandlineCapture() {
  Shutdown();
  LandlineCapture* self = this;
  g_capture.compare_exchange_strong(self, nullptr);
}

void LandlineCapture::OnOpenMessage() {
  rescan_state_.exchange(kRescanIdle);
  // Asked for while the box is away: it is opened when it comes back.
  if (!Open() && box_absent_) {
    rescan_state_.exchange(kRescanRunning);
    StartRescan();
  }
}

void LandlineCapture::OnCloseMessage() {
  failure_untold_ = false;
  rescan_state_.exchange(kRescanIdle);
  Close();
}

void LandlineCapture::ShowFailure(PhoneBoxLibrary* library) {
  if (library) library->Close();
  const int32_t code = library ? library->LastError() : PHONEBOX_LIBRARY_FAILED;
  ShowNotice("打开设备失败,请检查设备是否已经插入并安装了驱动,并且没有其它程序已经打开设备,错误代码：" +
             std::to_string(code));
}

bool LandlineCapture::Open() {
  platform::ScopedUiActivity activity("opening the phone box");
  box_absent_ = false;
  PhoneBoxLibrary* library = library_();
  if (open_) {
    // A box that went away unnoticed is opened afresh.
    if (!library || library->Query(0, PHONEBOX_QUERY_CHANNELS) > 0) return true;
    Close();
  }
  bool result = false;
  try {
    int32_t opened = library ? library->Open() : PHONEBOX_LIBRARY_FAILED;
    if (opened == PHONEBOX_LIBRARY_FAILED) {
      ShowNotice("DLL出错");
      ShowFailure(library);
      return false;
    }
    if (opened <= 0 && library->LastError() == PHONEBOX_ERROR_SEARCHING) {
      // Still looking for the box: the rescan opens it once found, or says
      // why not.
      box_absent_ = true;
      failure_untold_ = true;
      return false;
    }
    if (opened <= 0) {
      library->Close();
      opened = library->Open();
    }
    if (opened <= 0 || library->Query(0, PHONEBOX_QUERY_CHANNELS) <= 0) {
      box_absent_ = true;
      ShowFailure(library);
      return false;
    }
    int32_t channels = library->Query(0, PHONEBOX_QUERY_CHANNELS);
    if (channels > kMaxChannels) {
      env::WriteProgramLog("phone box reports " + std::to_string(channels) + " channels; using " +
                           std::to_string(kMaxChannels));
      channels = kMaxChannels;
    }
    for (int32_t channel = 0; channel < channels; ++channel) {
      if (!(library->Query(channel, PHONEBOX_QUERY_CAPABILITIES) & PHONEBOX_CAPABILITY_CALLER_ID))
        ShowNotice("没有来电显示，确定电话是否开通了来电显示的功能？检查驱动是否安装好？");
      library->SetEventHandler(channel, PHONEBOX_HANDLER_ATTACH, OnPhoneBoxEvent);
      library->SetParam(channel, kChannelParameter, kChannelParameterValue);
      library->SetParam(channel, kSecondChannelParameter, kSecondChannelParameterValue);
      result = true;
      open_ = true;
    }
    return result;
  } catch (...) {
    if (library) library->Close();
    open_ = false;
    ShowNotice("固话捕捉打开失败，请重启软件");
    return false;
  }
}

void LandlineCapture::Close() {
  if (!open_) return;
  PhoneBoxLibrary* library = library_();
  if (!library) return;
  // A box without channels is gone, and its handlers with it; it is no
  // longer open (marked open, it was never opened again once back).
  const int32_t channels = std::min(library->Query(0, PHONEBOX_QUERY_CHANNELS), kMaxChannels);
  for (int32_t channel = 0; channel < channels; ++channel)
    library->SetEventHandler(channel, PHONEBOX_HANDLER_DETACH, OnPhoneBoxEvent);
  library->Close();
  open_ = false;
}

void LandlineCapture::OnDeviceChange(uintptr_t wparam) {
  platform::ScopedUiActivity activity("looking for the unplugged phone box");
  if (rescan_state_ != kRescanIdle) {
    if (wparam == kRescanCloseCapture) {
      Close();
    } else if (wparam == kRescanTryAgain) {
      if (PhoneBoxLibrary* library = library_()) {
        library->Close();
        library->Open();
        if (library->Query(0, PHONEBOX_QUERY_CHANNELS) > 0) {
          failure_untold_ = false;
          rescan_state_.exchange(kRescanIdle);
          Open();
        } else if (failure_untold_ && library->LastError() != PHONEBOX_ERROR_SEARCHING) {
          // The search the page's open waited for found nothing: said once,
          // and the rescan goes on.
          failure_untold_ = false;
          ShowFailure(library);
        }
      }
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  ++handled_;
  changed_.notify_all();
}

int LandlineCapture::OnEvent(int32_t event, int32_t b, const char* text) {
  if (event == PHONEBOX_EVENT_CALLER_ID) {
    const size_t slot = ring_.NextSlot([this] {
      std::lock_guard<std::mutex> lock(mutex_);
      return stopping_;
    });
    ring_.Announce(slot, NormalizeCallerNumber(text), [this](uintptr_t announcement) {
      return post_(MSG_INCOMING_CALL, announcement, CALL_SOURCE_LANDLINE);
    });
  } else if (event == PHONEBOX_EVENT_UNPLUGGED) {
    env::WriteProgramLog("plug out");
    rescan_state_.exchange(kRescanRunning);
    StartRescan();
  } else if (event == PHONEBOX_EVENT_DEVICE_ERROR && b == PHONEBOX_DEVICE_ERROR_B) {
    env::WriteProgramLog("device error");
  }
  return 1;
}

void LandlineCapture::StartRescan() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) return;
  // One rescan at a time: a running one sees that it is wanted again.
  if (!rescan_ended_) return;
  // An ended one is collected here, so unplugging again and again keeps
  // no dead thread.
  if (rescan_.joinable()) rescan_.join();
  try {
    rescan_ = std::thread([this] { RunRescan(); });
    rescan_ended_ = false;
  } catch (const std::system_error&) {
    env::WriteProgramLog("landline rescan thread not started");
  }
}

void LandlineCapture::RunRescan() {
  for (;;) {
    if (AskMainWindow(kRescanCloseCapture) && Pause(kRescanPause)) {
      while (rescan_state_ == kRescanRunning && AskMainWindow(kRescanTryAgain) && Pause(kRescanPause)) {
      }
    }
    // Asked for again meanwhile (the page's open while the box is away, a
    // second unplug): this rescan starts over rather than a second one.
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_ || rescan_state_ != kRescanRunning) {
      rescan_ended_ = true;
      break;
    }
  }
  env::WriteProgramLog("quit scan thread");
}

bool LandlineCapture::AskMainWindow(uintptr_t wparam) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopping_) return false;
  // No main window now: asked again after the pause. The post only queues,
  // so it is safe under the lock, and a ticket counts posted messages only.
  if (!post_(MSG_LANDLINE_DEVICE_CHANGE, wparam, 0)) return true;
  const uint64_t ticket = ++asked_;
  changed_.wait(lock, [&] { return stopping_ || handled_ >= ticket; });
  return !stopping_;
}

bool LandlineCapture::Pause(std::chrono::milliseconds time) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !changed_.wait_for(lock, time, [&] { return stopping_; });
}

size_t LandlineCapture::running_rescans() {
  std::lock_guard<std::mutex> lock(mutex_);
  return rescan_ended_ ? 0 : 1;
}

void LandlineCapture::Shutdown() {
  Close();
  std::thread rescan;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    rescan.swap(rescan_);
    changed_.notify_all();
  }
  if (rescan.joinable()) rescan.join();
}

namespace {

LandlineCapture& TheCapture() {
  // Lives until exit; its threads end in ShutdownLandlineCapture.
  static LandlineCapture* capture =
      new LandlineCapture(LoadPhoneBoxLibrary, [](uint32_t message, uintptr_t wparam, intptr_t lparam) {
        platform::WindowMessage posted;
        posted.message = message;
        posted.wparam = wparam;
        posted.lparam = lparam;
        auto window = env::FindMainWindow();
        return window && window->Post(posted);
      });
  return *capture;
}

}  // namespace

void OnLandlineOpen() { TheCapture().OnOpenMessage(); }
void OnLandlineClose() { TheCapture().OnCloseMessage(); }
void OnLandlineDeviceChange(uintptr_t wparam) { TheCapture().OnDeviceChange(wparam); }
void ShutdownLandlineCapture() { TheCapture().Shutdown(); }

}  // namespace telephony
