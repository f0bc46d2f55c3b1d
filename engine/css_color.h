#ifndef ENGINE_CSS_COLOR_H_
#define ENGINE_CSS_COLOR_H_

#include <cstdint>
#include <string>

namespace engine {

using Color = uint32_t;  // ARGB, alpha in the top byte.

// Parses a CSS colour: a named colour, "#rgb", "#rrggbb", "#rrggbbaa",
// "rgb(r, g, b)" or "rgba(r, g, b, a)". On success writes the colour and
// returns true; on failure leaves |color| untouched.
bool ParseCSSColor(const std::string& text, bool strict, Color& color);

}  // namespace engine

#endif  // ENGINE_CSS_COLOR_H_
