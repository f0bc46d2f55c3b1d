#include "engine/css_color.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace engine {

namespace {

struct NamedColor {
  const char* name;
  Color rgb;
};

// The CSS basic colour keywords plus the common extended ones.
constexpr NamedColor kNamedColors[] = {
    {"black", 0x000000},   {"silver", 0xC0C0C0},  {"gray", 0x808080},      {"grey", 0x808080},
    {"white", 0xFFFFFF},   {"maroon", 0x800000},  {"red", 0xFF0000},       {"purple", 0x800080},
    {"fuchsia", 0xFF00FF}, {"magenta", 0xFF00FF}, {"green", 0x008000},     {"lime", 0x00FF00},
    {"olive", 0x808000},   {"yellow", 0xFFFF00},  {"navy", 0x000080},      {"blue", 0x0000FF},
    {"teal", 0x008080},    {"aqua", 0x00FFFF},    {"cyan", 0x00FFFF},      {"orange", 0xFFA500},
    {"pink", 0xFFC0CB},    {"brown", 0xA52A2A},   {"gold", 0xFFD700},      {"lightgray", 0xD3D3D3},
    {"darkgray", 0xA9A9A9}, {"whitesmoke", 0xF5F5F5}, {"transparent", 0x000000},
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool ParseHex(const std::string& digits, Color& color) {
  std::vector<int> values;
  for (char c : digits) {
    const int v = HexDigit(c);
    if (v < 0) return false;
    values.push_back(v);
  }
  unsigned r, g, b, a = 255;
  switch (values.size()) {
    case 3:
      r = values[0] * 17, g = values[1] * 17, b = values[2] * 17;
      break;
    case 6:
      r = values[0] * 16 + values[1], g = values[2] * 16 + values[3], b = values[4] * 16 + values[5];
      break;
    case 8:
      r = values[0] * 16 + values[1], g = values[2] * 16 + values[3], b = values[4] * 16 + values[5];
      a = values[6] * 16 + values[7];
      break;
    default:
      return false;
  }
  color = (a << 24) | (r << 16) | (g << 8) | b;
  return true;
}

bool ParseFunction(const std::string& text, Color& color) {
  const size_t open = text.find('(');
  if (open == std::string::npos || text.back() != ')') return false;
  const std::string name = text.substr(0, open);
  if (name != "rgb" && name != "rgba") return false;
  std::vector<double> parts;
  std::string inner = text.substr(open + 1, text.size() - open - 2);
  size_t start = 0;
  while (start <= inner.size()) {
    size_t comma = inner.find(',', start);
    if (comma == std::string::npos) comma = inner.size();
    const std::string part = inner.substr(start, comma - start);
    char* end = nullptr;
    const double value = std::strtod(part.c_str(), &end);
    if (end == part.c_str()) return false;
    while (*end == ' ') ++end;
    if (*end != '\0') return false;
    parts.push_back(value);
    start = comma + 1;
  }
  if (parts.size() != (name == "rgb" ? 3u : 4u)) return false;
  auto channel = [](double v) { return static_cast<unsigned>(std::clamp(std::lround(v), 0L, 255L)); };
  const unsigned a = parts.size() == 4 ? channel(parts[3] * 255.0) : 255;
  color = (a << 24) | (channel(parts[0]) << 16) | (channel(parts[1]) << 8) | channel(parts[2]);
  return true;
}

}  // namespace

bool ParseCSSColor(const std::string& input, bool /*strict*/, Color& color) {
  std::string text;
  for (char c : input)
    if (!std::isspace(static_cast<unsigned char>(c)))
      text.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  if (text.empty()) return false;
  if (text[0] == '#') return ParseHex(text.substr(1), color);
  if (text.find('(') != std::string::npos) return ParseFunction(text, color);
  for (const auto& named : kNamedColors) {
    if (text == named.name) {
      color = (text == "transparent" ? 0u : 0xFF000000u) | named.rgb;
      return true;
    }
  }
  return false;
}

}  // namespace engine
