#include <cstdio>

#include "env/utf.h"
#include "telephony/call_tables.h"

namespace telephony {

MobileCallTable& GetMobileCallTable() {
  static MobileCallTable table;
  return table;
}

LandlineCallTable& GetLandlineCallTable() {
  static LandlineCallTable table;
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

std::u16string PhoneCallScript(int source, size_t slot) {
  if (slot >= kCallSlots) return std::u16string();
  const std::string number =
      source == CALL_SOURCE_LANDLINE ? GetLandlineCallTable().Read(slot) : GetMobileCallTable().Read(slot);
  return u"phoneCall(\"" + EscapeForScriptString(number) + u"\");";
}

}  // namespace telephony
