#ifndef RENDERER_APP_EXTENSION_H_
#define RENDERER_APP_EXTENSION_H_

#include <memory>
#include <string>

#include "engine/v8_value.h"
#include "platform/window_directory.h"

namespace renderer {

inline constexpr uintptr_t kOpenUrlCopyDataMarker = 3256;  // wParam
inline constexpr uintptr_t kOpenUrlCopyDataId = 3243;      // dwData
inline constexpr intptr_t OPEN_URL_FAILED = 30;

// The source of the "v8/app" extension, exactly as the page expects it.
std::string AppExtensionSource();

// The native side of `app`: thirteen functions for the hosted page.
class AppExtensionHandler : public engine::V8Handler {
 public:
  AppExtensionHandler();
  bool Execute(const std::string& name, const engine::V8ValueList& arguments, engine::V8Value& retval,
               std::u16string& exception) override;
  std::string OneWayAnswer(const std::string& name) const override;

  // "soft_sign:crm;soft_name:...;soft_url:<start URL>;soft_version:2.6.1"
  static std::u16string SoftInfo();
  // wParam for MSG_FULL_SCREEN from the arguments, or -1 for a wrong type.
  static int FullScreenMode(const engine::V8ValueList& arguments);

 private:
  bool RootDefaultBrowser(const engine::V8ValueList& arguments);
  bool PostToMainWindow(uint32_t message, uintptr_t wparam);

  std::shared_ptr<platform::WindowHandle> main_window_;
};

// The browser-process side of OPEN_URL_COPYDATA: a Chromium-family browser
// by name, else the default handler. Returns 0, or OPEN_URL_FAILED.
intptr_t OpenUrlExternally(const std::string& url);
// Whether |url| may go to a browser or the desktop's opener: an absolute
// http or https URL with a host, or a mailto: or tel: URL, without a blank
// or control character anywhere. Logs a refusal.
bool IsExternallyOpenableUrl(const std::string& url);

}  // namespace renderer

#endif  // RENDERER_APP_EXTENSION_H_
