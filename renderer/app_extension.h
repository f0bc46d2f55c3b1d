#ifndef RENDERER_APP_EXTENSION_H_
#define RENDERER_APP_EXTENSION_H_

#include <memory>
#include <string>

#include "engine/v8_value.h"
#include "platform/window_directory.h"

namespace renderer {

// The source of the "v8/app" extension, exactly as the page expects it.
std::string AppExtensionSource();

// The native side of `app`: the calls of the table in app_extension.cc.
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

  // The calls that reach outside the page's process.
  bool RootDefaultBrowser(const engine::V8ValueList& arguments);
  bool PostToMainWindow(uint32_t message, uintptr_t wparam);

 private:
  std::shared_ptr<platform::WindowHandle> main_window_;
};

}  // namespace renderer

#endif  // RENDERER_APP_EXTENSION_H_
