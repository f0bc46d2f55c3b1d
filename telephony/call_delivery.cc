#include <cstdio>

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
  auto escape = [&](char32_t cp) {
    char text[8];
    snprintf(text, sizeof(text), "\\u%04X", static_cast<unsigned>(cp));
    for (char* c = text; *c; ++c) out += static_cast<char16_t>(*c);
  };
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    char32_t cp = length == 1 ? c : length ? (c & (0xFF >> (length + 1))) : 0xFFFD;
    bool valid = length != 0 && i + length <= bytes.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
      valid = (next >> 6) == 2;
      cp = (cp << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && (cp < kMinimum[length] || (cp >= 0xD800 && cp < 0xE000) || cp > 0x10FFFF)) valid = false;
    if (!valid) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += length;
    if (cp == '"' || cp == '\\') {
      out += u'\\';
      out += static_cast<char16_t>(cp);
    } else if (cp < 0x20 || cp == 0x7F || cp == 0x2028 || cp == 0x2029) {
      escape(cp);
    } else if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
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
