#ifndef TELEPHONY_CALL_TABLES_H_
#define TELEPHONY_CALL_TABLES_H_

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

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
// The script that hands |number| to the page: phoneCall("<number>"); with
// the number made safe for a string literal.
std::u16string PhoneCallScript(const std::string& number);
// The escaping used there (exposed for tests): bytes that are not valid
// UTF-8 become U+FFFD; quotes, backslashes, line breaks, U+2028/U+2029 and
// other control characters are escaped.
std::u16string EscapeForScriptString(const std::string& bytes);

}  // namespace telephony

#endif  // TELEPHONY_CALL_TABLES_H_
