#ifndef TELEPHONY_CALL_TABLES_H_
#define TELEPHONY_CALL_TABLES_H_

#include <array>
#include <cstddef>
#include <mutex>
#include <string>

namespace telephony {

inline constexpr int CALL_SOURCE_MOBILE = 0;
inline constexpr int CALL_SOURCE_LANDLINE = 3;
inline constexpr size_t kCallSlots = 8;

// A ring of caller numbers: each slot one zero-terminated narrow number.
// A slot stays as written until eight further calls of the same source.
template <size_t SlotBytes>
class CallTable {
 public:
  void Clear(size_t slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_[slot % kCallSlots].fill(0);
  }
  // Stores at most SlotBytes - 1 bytes, stopping at a zero byte.
  void Store(size_t slot, const char* bytes, size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& target = slots_[slot % kCallSlots];
    target.fill(0);
    for (size_t i = 0; i < length && i + 1 < SlotBytes && bytes[i] != '\0'; ++i) target[i] = bytes[i];
  }
  std::string Read(size_t slot) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::string(slots_[slot % kCallSlots].data());
  }

 private:
  mutable std::mutex mutex_;
  std::array<std::array<char, SlotBytes>, kCallSlots> slots_{};
};

using MobileCallTable = CallTable<64>;
using LandlineCallTable = CallTable<36>;

MobileCallTable& GetMobileCallTable();
LandlineCallTable& GetLandlineCallTable();

// The script that hands the number of |slot| of the |source| table to the
// page: phoneCall("<number>"); with the number made safe for a string
// literal. Empty for an index above 7.
std::u16string PhoneCallScript(int source, size_t slot);
// The escaping used there (exposed for tests): bytes that are not valid
// UTF-8 become U+FFFD; quotes, backslashes, line breaks, U+2028/U+2029 and
// other control characters are escaped.
std::u16string EscapeForScriptString(const std::string& bytes);

}  // namespace telephony

#endif  // TELEPHONY_CALL_TABLES_H_
