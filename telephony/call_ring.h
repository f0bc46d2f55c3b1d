#ifndef TELEPHONY_CALL_RING_H_
#define TELEPHONY_CALL_RING_H_

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "env/logs.h"
#include "telephony/call_tables.h"

namespace telephony {

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
