#ifndef APP_USAGE_H_
#define APP_USAGE_H_

#include <string>

namespace app {

// One switch of the command line as the user is told of it.
struct Switch {
  const char* name;      // "start-url"
  const char* argument;  // "URL", or "" for a switch without one
  const char* help;      // one sentence
};

struct Key {
  const char* keys;  // "Ctrl+Shift+F12"
  const char* help;
};

extern const Switch kSwitches[];
extern const int kSwitchCount;
extern const Key kKeys[];
extern const int kKeyCount;

// The --help text: switches and keys in aligned columns.
std::string HelpText();
// The man page's OPTIONS and KEYS sections, in troff.
std::string ManSections();
// |text| (a man page) with every character beyond ASCII as a troff escape
// (\[u8F6F]), and after its first line a fallback "?" for each, so that man
// renders it in any locale without warnings.
std::string TroffEscaped(const std::string& utf8);

}  // namespace app

#endif  // APP_USAGE_H_
