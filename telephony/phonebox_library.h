#ifndef TELEPHONY_PHONEBOX_LIBRARY_H_
#define TELEPHONY_PHONEBOX_LIBRARY_H_

#include <cstdint>

#include "phonebox/phonebox.h"

namespace telephony {

// The phone-box library's six operations, as the capture calls them.
class PhoneBoxLibrary {
 public:
  virtual ~PhoneBoxLibrary() = default;
  virtual int32_t Open() = 0;
  virtual void Close() = 0;
  virtual int32_t Query(int32_t channel, int32_t what) = 0;
  virtual void SetEventHandler(int32_t channel, int32_t operation, PhoneBoxEventHandler handler) = 0;
  virtual void SetParam(int32_t channel, int32_t parameter, int32_t value) = 0;
  virtual int32_t LastError() = 0;
};

// The library beside the executable, else the one the system finds;
// loaded on the first call and kept until exit. Null (and logged) when it
// cannot be loaded or lacks an operation.
PhoneBoxLibrary* LoadPhoneBoxLibrary();

}  // namespace telephony

#endif  // TELEPHONY_PHONEBOX_LIBRARY_H_
