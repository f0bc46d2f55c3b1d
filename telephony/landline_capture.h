#ifndef TELEPHONY_LANDLINE_CAPTURE_H_
#define TELEPHONY_LANDLINE_CAPTURE_H_

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "telephony/call_ring.h"
#include "telephony/phonebox_library.h"

namespace telephony {

inline constexpr size_t kLandlineNumberBytes = 35;
inline constexpr int32_t kRescanIdle = 1;
inline constexpr int32_t kRescanRunning = 2;
// What the rescan thread asks of the main window: close the capture that
// lost its box, or try the box again.
inline constexpr uintptr_t kRescanCloseCapture = 3;
inline constexpr uintptr_t kRescanTryAgain = 2;

// Blanks and "-" removed; 12 characters beginning "01" lose the first; a
// leading "+86" skipped; at most 35 bytes.
std::string NormalizeCallerNumber(const std::string& text);

// The phone box on the main window's side: open and close on the page's
// request, caller IDs into the landline ring, and the rescan after an
// unplug until the box is back.
class LandlineCapture {
 public:
  using PostToMainWindow = std::function<bool(uint32_t message, uintptr_t wparam, intptr_t lparam)>;
  // |library| gives the library, or null when it cannot be had; |post|
  // reaches the main window's thread.
  LandlineCapture(std::function<PhoneBoxLibrary*()> library, PostToMainWindow post);
  ~LandlineCapture();  // Shutdown()

  // Main window's thread. An open the page asks for while the box is
  // unplugged keeps trying until the box is back.
  void OnOpenMessage();
  void OnCloseMessage();
  void OnDeviceChange(uintptr_t wparam);
  bool Open();
  void Close();
  // At exit: closes once and ends every rescan thread.
  void Shutdown();

  // The library's thread: one event; returns what the library is given.
  int OnEvent(int32_t event, int32_t b, const char* text);

  bool is_open() const { return open_; }
  int32_t rescan_state() const { return rescan_state_; }
  size_t running_rescans();  // 0 or 1

 private:
  void StartRescan();
  void RunRescan();
  // Posts the device change and waits until the main window has handled
  // it; false once shutting down.
  bool AskMainWindow(uintptr_t wparam);
  bool Pause(std::chrono::milliseconds time);
  void ShowFailure(PhoneBoxLibrary* library);

  std::function<PhoneBoxLibrary*()> library_;
  PostToMainWindow post_;
  // Main window's thread only: the box is open; the last open found no
  // box; a search the page's open left running has not been told about.
  bool open_ = false;
  bool box_absent_ = false;
  bool failure_untold_ = false;
  std::atomic<int32_t> rescan_state_{kRescanIdle};
  CallRing<LandlineCallTable> ring_{GetLandlineCallTable(), kSlotWait};

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  uint64_t asked_ = 0, handled_ = 0;
  std::thread rescan_;  // the one rescan, running or ended
  bool rescan_ended_ = true;
};

// The process's landline capture, on the main window's messages.
void OnLandlineOpen();
void OnLandlineClose();
void OnLandlineDeviceChange(uintptr_t wparam);
// After the main loop: closes the box once, ends the rescans.
void ShutdownLandlineCapture();

}  // namespace telephony

#endif  // TELEPHONY_LANDLINE_CAPTURE_H_
