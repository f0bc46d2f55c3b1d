#include "telephony/call_tables.h"

#include <cstdio>

#include "env/logs.h"
#include "env/utf.h"

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

std::u16string EscapeForScriptString(const std::string& bytes) {
  std::u16string out;
  for (char16_t unit : env::Utf8ToUtf16(bytes)) {
    if (unit == u'"' || unit == u'\\') {
      out += u'\\';
      out += unit;
    } else if (unit < 0x20 || unit == 0x7F || unit == 0x2028 || unit == 0x2029) {
      char text[8];
      snprintf(text, sizeof(text), "\\u%04X", static_cast<unsigned>(unit));
      for (char* c = text; *c; ++c) out += static_cast<char16_t>(*c);
    } else {
      out += unit;
    }
  }
  return out;
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

std::u16string PhoneCallScript(const std::string& number) {
  return u"phoneCall(\"" + EscapeForScriptString(number) + u"\");";
}

}  // namespace telephony
