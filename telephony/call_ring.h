#ifndef TELEPHONY_CALL_RING_H_
#define TELEPHONY_CALL_RING_H_

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "env/logs.h"

// Every source's calls on their way to the main window: each source's table
// of numbers, the ring that fills it, and the announcement of a call.
namespace telephony {

inline constexpr int CALL_SOURCE_MOBILE = 0;
inline constexpr int CALL_SOURCE_LANDLINE = 3;
inline constexpr int CALL_SOURCE_SIP = 4;
inline constexpr size_t kCallSlots = 8;
// How long a new call may wait for the main window to read the call still
// in the slot it needs; after that the slot is reused and that call lost.
inline constexpr std::chrono::milliseconds kSlotWait{2000};

// What MSG_INCOMING_CALL carries in wParam: the slot in the low byte and,
// above it, the serial number the table gave that call (0: whatever the
// slot holds).
inline uintptr_t CallAnnouncement(size_t slot, uint64_t serial) {
  return static_cast<uintptr_t>(slot | (serial << 8));
}

// A ring of caller numbers: each slot one zero-terminated narrow number.
// A slot stays as written until eight further calls of the same source.
template <size_t SlotBytes>
class CallTable {
 public:
  void Clear(size_t slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_[slot % kCallSlots].fill(0);
    serials_[slot % kCallSlots] = ++last_serial_;
    delivered_[slot % kCallSlots] = true;
  }
  // Stores at most SlotBytes - 1 bytes, stopping at a zero byte; returns
  // the serial number of this call.
  uint64_t Store(size_t slot, const char* bytes, size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& target = slots_[slot % kCallSlots];
    target.fill(0);
    for (size_t i = 0; i < length && i + 1 < SlotBytes && bytes[i] != '\0'; ++i) target[i] = bytes[i];
    delivered_[slot % kCallSlots] = false;
    return serials_[slot % kCallSlots] = ++last_serial_;
  }
  std::string Read(size_t slot) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::string(slots_[slot % kCallSlots].data());
  }
  // The number of call |serial| in |slot| (0: whatever the slot holds), at
  // most once: false when it went out already or a later call has taken
  // the slot since.
  bool TakeForDelivery(size_t slot, uint64_t serial, std::string& number) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const size_t index = slot % kCallSlots;
      if (delivered_[index] || (serial != 0 && serials_[index] != serial)) return false;
      delivered_[index] = true;
      number = slots_[index].data();
    }
    taken_.notify_all();
    return true;
  }
  // Waits at most |timeout| for call |serial| in |slot| to go out; true
  // when it has, or when the slot no longer holds it.
  bool WaitTaken(size_t slot, uint64_t serial, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    const size_t index = slot % kCallSlots;
    return taken_.wait_for(lock, timeout, [&] { return delivered_[index] || serials_[index] != serial; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable taken_;
  std::array<std::array<char, SlotBytes>, kCallSlots> slots_{};
  std::array<uint64_t, kCallSlots> serials_{};
  std::array<bool, kCallSlots> delivered_{};
  uint64_t last_serial_ = 0;
};

using MobileCallTable = CallTable<64>;
using LandlineCallTable = CallTable<36>;
using SipCallTable = CallTable<36>;

MobileCallTable& GetMobileCallTable();
LandlineCallTable& GetLandlineCallTable();
SipCallTable& GetSipCallTable();

// The number of the call of |announcement| (CallAnnouncement) in the
// |source| table, taken for handing over. None (and logged when a later
// call took its slot first) when there is nothing to hand over: a slot
// above 7, a source that is none of the three, a call handed over already.
std::optional<std::string> TakeCallForPage(int source, uintptr_t announcement);
// Posts MSG_INCOMING_CALL with |announcement| of |source| to the main
// window; false when there is none to take it.
bool AnnounceToMainWindow(int source, uintptr_t announcement);

// The way one source's calls go round their table to the main window, on
// the source's own thread: a call takes the next slot once the call
// announced there before has been read (or has waited too long), and is
// announced with its slot and serial.
template <typename Table>
class CallRing {
 public:
  CallRing(Table& table, std::chrono::milliseconds slot_wait) : table_(table), slot_wait_(slot_wait) {}

  // The slot the next call goes to, once the main window has read the call
  // still in it, |slot_wait| has passed or |stopped| says so. A burst can
  // outrun the main window for a moment: its calls are not overwritten
  // unread.
  size_t NextSlot(const std::function<bool()>& stopped) {
    const size_t slot = next_slot_;
    const uint64_t serial = std::exchange(unread_[slot], 0);
    if (serial == 0) return slot;
    using std::chrono::milliseconds;
    constexpr milliseconds kStep{50};  // how often |stopped| is asked
    const auto deadline = std::chrono::steady_clock::now() + slot_wait_;
    for (;;) {
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
      if (table_.WaitTaken(slot, serial, std::clamp(left, milliseconds(0), kStep))) return slot;
      if (stopped() || left <= milliseconds(0)) break;
    }
    env::WriteProgramLog("call " + std::to_string(serial) + " not read in time: its slot is reused");
    return slot;
  }

  // Stores |number| in |slot| (from NextSlot) and hands its announcement
  // to |announce|, which says whether it went out; the next call takes the
  // slot after.
  void Announce(size_t slot, const std::string& number, const std::function<bool(uintptr_t)>& announce) {
    const uint64_t serial = table_.Store(slot, number.data(), number.size());
    unread_[slot] = announce(CallAnnouncement(slot, serial)) ? serial : 0;
    next_slot_ = (slot + 1) % kCallSlots;
  }

  size_t next_slot() const { return next_slot_; }

 private:
  Table& table_;
  const std::chrono::milliseconds slot_wait_;
  std::atomic<size_t> next_slot_{0};
  // The source's thread only: per slot, the call announced there and not
  // yet known to be read (0: none).
  std::array<uint64_t, kCallSlots> unread_{};
};

}  // namespace telephony

#endif  // TELEPHONY_CALL_RING_H_
