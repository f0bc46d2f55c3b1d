#ifndef ENV_EXTERNAL_LINKS_H_
#define ENV_EXTERNAL_LINKS_H_

#include <cstdint>
#include <string>

namespace env {

// OPEN_URL_COPYDATA: the page side asks the main window to open a link
// outside the client.
inline constexpr uintptr_t kOpenUrlCopyDataMarker = 3256;  // wParam
inline constexpr uintptr_t kOpenUrlCopyDataId = 3243;      // dwData
inline constexpr intptr_t OPEN_URL_FAILED = 30;

// Whether |url| may go to a browser or the desktop's opener: an absolute
// http or https URL with a host, or a mailto: or tel: URL, without a blank
// or control character anywhere. Logs a refusal.
bool IsExternallyOpenableUrl(const std::string& url);
// The desktop's handler, not waited for: true once it is on its way; a
// handler that then refuses the link is logged.
bool OpenWithTheDesktop(const std::string& url);
// The main window's side of OPEN_URL_COPYDATA: a Chromium-family browser
// by name, else the default handler. Returns 0, or OPEN_URL_FAILED.
intptr_t OpenUrlExternally(const std::string& url);

}  // namespace env

#endif  // ENV_EXTERNAL_LINKS_H_
