#include "telephony/call_ring.h"

#include "env/system_integration.h"
#include "env/window_messages.h"

namespace telephony {

MobileCallTable& GetMobileCallTable() {
  static MobileCallTable table;
  return table;
}

LandlineCallTable& GetLandlineCallTable() {
  static LandlineCallTable table;
  return table;
}

SipCallTable& GetSipCallTable() {
  static SipCallTable table;
  return table;
}

std::optional<std::string> TakeCallForPage(int source, uintptr_t announcement) {
  const size_t slot = announcement & 0xFF;
  const uint64_t serial = announcement >> 8;
  if (slot >= kCallSlots) return std::nullopt;
  std::string number;
  bool taken = false;
  switch (source) {
    case CALL_SOURCE_MOBILE:
      taken = GetMobileCallTable().TakeForDelivery(slot, serial, number);
      break;
    case CALL_SOURCE_LANDLINE:
      taken = GetLandlineCallTable().TakeForDelivery(slot, serial, number);
      break;
    case CALL_SOURCE_SIP:
      taken = GetSipCallTable().TakeForDelivery(slot, serial, number);
      break;
    default:
      env::WriteProgramLog("a call announced from no known source: not taken");
      return std::nullopt;
  }
  if (!taken) {
    // Never another call's number in its place, never one twice.
    if (serial != 0) env::WriteProgramLog("call " + std::to_string(serial) + " dropped: its slot was reused first");
    return std::nullopt;
  }
  return number;
}

bool AnnounceToMainWindow(int source, uintptr_t announcement) {
  auto window = env::FindMainWindow();
  return window && window->Post({MSG_INCOMING_CALL, announcement, source});
}

}  // namespace telephony
