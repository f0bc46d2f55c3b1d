#include "app/usage.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>

namespace app {

const Switch kSwitches[] = {
    {"start-url", "URL", "open URL instead of the service's start page"},
    {"channel-service", "HOST[:PORT]", "ask this host for the service channels"},
    {"remote-debugging-port", "N", "let developer tools connect on 127.0.0.1:N (any local user can then drive the "
                                   "session)"},
    {"proxy-server", "PROXY", "use PROXY (host:port, or the engine's scheme=host:port;... list) instead of the "
                              "desktop's proxy settings"},
    {"proxy-pac-url", "URL", "use the automatic proxy configuration script at URL instead of the desktop's "
                             "proxy settings"},
    {"no-proxy-server", "", "connect directly, whatever the desktop's proxy settings say"},
    {"sip-server", "HOST[:PORT]", "take callers' numbers from this SIP phone system (UDP unless its DNS says "
                                  "otherwise) while the page captures landline calls"},
    {"sip-extension", "NUMBER", "with --sip-server: the agent's extension, whose ringing calls are watched"},
    {"sip-user", "NAME", "with --sip-server: the user that signs in (the extension unless given)"},
    {"off-screen-rendering-enabled", "", "draw the page off screen and show its frames with OpenGL"},
    {"off-screen-frame-rate", "N", "at most N off-screen frames a second (30 unless given, at most 60)"},
    {"transparent-painting-enabled", "", "off screen: let the page's transparent parts show through"},
    {"show-update-rect", "", "off screen: outline the parts of each frame that changed"},
    {"background-color", "COLOUR", "the colour behind the page while it loads (CSS colour)"},
    {"print-logs", "", "print today's logs as text, one record a line, and exit; with --day=YYYY-MM-DD, "
                       "--kind=program|page|crash (repeatable) and --follow"},
    {"support-bundle", "FILE", "write one archive for support (15 days of logs, versions, settings, the desktop; "
                               "no web data) to FILE, or to the home folder when FILE is empty, and exit"},
    {"with-caller-numbers", "", "with --support-bundle: keep callers' numbers in the logs whole (masked otherwise)"},
    {"version", "", "print the version and exit"},
    {"help", "", "print this text and exit"},
};
const int kSwitchCount = static_cast<int>(std::size(kSwitches));

const Key kKeys[] = {
    {"F5, Ctrl+F5", "reload the page (Ctrl+R is the page's own key)"},
    {"F11", "full screen on or off"},
    {"Ctrl+Shift+F12", "developer tools of the page"},
    {"Ctrl+Shift+Delete", "clear the cache (asks first; done at the next start)"},
};
const int kKeyCount = static_cast<int>(std::size(kKeys));

namespace {

std::string SwitchText(const Switch& s) {
  return std::string("--") + s.name + (*s.argument ? std::string("=") + s.argument : std::string());
}

// The man page's form of a switch name: "-" as "\-".
std::string TroffName(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

}  // namespace

std::string HelpText() {
  size_t width = 0;
  for (const Switch& s : kSwitches) width = std::max(width, SwitchText(s).size());
  for (const Key& k : kKeys) width = std::max(width, std::string(k.keys).size());
  const auto line = [width](const std::string& left, const char* right) {
    return "  " + left + std::string(width - left.size() + 2, ' ') + right + "\n";
  };
  std::string text = "\nThe desktop client of the VeltroCRM service.\n\nUsage: veltrocrm [OPTION...]\n\n";
  for (const Switch& s : kSwitches) text += line(SwitchText(s), s.help);
  text += "\nKeys:\n";
  for (const Key& k : kKeys) text += line(k.keys, k.help);
  return text;
}

std::string ManSections() {
  std::string text = ".SH OPTIONS\n";
  for (const Switch& s : kSwitches) {
    text += ".TP\n";
    text += *s.argument ? ".BI " + TroffName(std::string("--") + s.name + "=") + " " + s.argument + "\n"
                        : ".B " + TroffName(std::string("--") + s.name) + "\n";
    std::string help = s.help;
    help[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(help[0])));
    text += TroffName(help) + ".\n";
  }
  text += ".SH KEYS\n";
  for (const Key& k : kKeys) {
    std::string help = k.help;
    help[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(help[0])));
    text += ".TP\n.B " + std::string(k.keys) + "\n" + help + ".\n";
  }
  return text;
}

std::string TroffEscaped(const std::string& utf8) {
  std::string out;
  std::string fallbacks;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    int length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : lead >> 3 == 30 ? 4 : 1;
    if (length == 1 || i + length > utf8.size()) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    unsigned code = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    char escape[16];
    std::snprintf(escape, sizeof(escape), "\\[u%04X]", code);
    out += escape;
    // A terminal that cannot show it gets a "?", not a troff warning.
    const std::string fallback = std::string(".if !c") + escape + " .char " + escape + " ?\n";
    if (fallbacks.find(fallback) == std::string::npos) fallbacks += fallback;
    i += length;
  }
  // After the title line, which must stay first.
  const size_t first_line = out.find('\n');
  return first_line == std::string::npos || fallbacks.empty()
             ? out
             : out.substr(0, first_line + 1) + fallbacks + out.substr(first_line + 1);
}

}  // namespace app
