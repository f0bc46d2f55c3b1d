#include "env/external_links.h"

#include <algorithm>
#include <cctype>

#include "env/logs.h"
#include "env/utf.h"
#include "platform/desktop_services.h"

namespace env {

namespace {

constexpr int kOpenTimeoutMs = 5000;

// Characters a person cannot see or that turn text around: Unicode spaces
// and line ends beyond ASCII, zero-width and bidirectional controls, and
// whatever was not UTF-8 in the first place.
bool IsHiddenOrTurning(char16_t unit) {
  return unit == 0x0085 || unit == 0x00A0 || unit == 0x061C || unit == 0x1680 || unit == 0x180E ||
         (unit >= 0x2000 && unit <= 0x200F) || (unit >= 0x2028 && unit <= 0x202F) ||
         (unit >= 0x205F && unit <= 0x206F) || unit == 0x3000 || unit == 0xFEFF || unit == 0xFFFD;
}

}  // namespace

bool IsExternallyOpenableUrl(const std::string& url) {
  // A blank or control character anywhere could end the URL early, and a
  // browser strips leading ones and reads what follows as its switches;
  // hidden and turning characters make it read as another address.
  const std::u16string text = Utf8ToUtf16(url);
  const bool clean = !url.empty() &&
                     std::none_of(url.begin(), url.end(),
                                  [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; }) &&
                     std::none_of(text.begin(), text.end(), IsHiddenOrTurning);
  const size_t colon = url.find(':');
  std::string scheme = colon == std::string::npos ? std::string() : url.substr(0, colon);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
  const std::string rest = colon == std::string::npos ? std::string() : url.substr(colon + 1);
  bool allowed = false;
  if (scheme == "http" || scheme == "https")
    allowed = rest.size() > 2 && rest.compare(0, 2, "//") == 0 && rest.find_first_of("/?#", 2) != 2;
  else if (scheme == "mailto" || scheme == "tel")
    allowed = !rest.empty();
  if (clean && allowed) return true;
  WriteProgramLog("external link refused: " + PrintableForLog(url));
  return false;
}

bool OpenWithTheDesktop(const std::string& url) {
  return platform::OpenWithDefaultHandler(url, kOpenTimeoutMs, "", [url](bool opened) {
    if (!opened) WriteProgramLog("the desktop opened no program for " + PrintableForLog(url));
  });
}

intptr_t OpenUrlExternally(const std::string& url) {
  if (!IsExternallyOpenableUrl(url)) return OPEN_URL_FAILED;
  // "--" ends the browser's switches: the URL is never read as one.
  for (const char* browser : {"chromium", "google-chrome", "chromium-browser", "chrome"})
    if (platform::StartProgramByName(browser, {"--", url})) return 0;
  return OpenWithTheDesktop(url) ? 0 : OPEN_URL_FAILED;
}

}  // namespace env
