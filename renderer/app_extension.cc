#include "renderer/app_extension.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "env/external_links.h"
#include "env/logs.h"
#include "env/product.h"
#include "env/system_integration.h"
#include "env/utf.h"
#include "env/window_messages.h"
#include "platform/desktop_services.h"
#include "renderer/service_frames.h"

namespace renderer {

namespace {

constexpr int kDualViewTimeoutMs = 5000;
constexpr char16_t kInvalidArguments[] = u"Invalid method arguments";

bool FirstIsString(const engine::V8ValueList& arguments) { return !arguments.empty() && arguments[0].IsString(); }

bool ActsOutsideThePage(const std::string& name) {
  for (const char* acting : {"rootDefaultBrowser", "copyText", "copyUnicodeText", "setExtendDualview", "setFullScreen",
                             "startLandlineCapture", "closeLandlineCapture"})
    if (name == acting) return true;
  return false;
}

}  // namespace

std::string AppExtensionSource() {
  return "var app;if (!app) app = {};(function() {"
         "  app.rootDefaultBrowser = function(arg1) { native function rootDefaultBrowser(); return rootDefaultBrowser(arg1);  };"
         "  app.getSoftInfo = function() { native function getSoftInfo(); return getSoftInfo();  };"
         "  app.copyUnicodeText = function(arg1) { native function copyUnicodeText(); return copyUnicodeText(arg1);  };"
         "  app.copyText = function(arg1) { native function copyText(); return copyText(arg1);  };"
         "  app.isMultiScreen = function() { native function isMultiScreen(); return isMultiScreen();  };"
         "  app.getViceScreenRegion = function() { native function getViceScreenRegion(); return getViceScreenRegion();  };"
         "  app.getScreenCount = function() { native function getScreenCount(); return getScreenCount();  };"
         "  app.setExtendDualview = function() { native function setExtendDualview(); return setExtendDualview();  };"
         "  app.startLandlineCapture = function() { native function startLandlineCapture(); return startLandlineCapture();  };"
         "  app.closeLandlineCapture = function() { native function closeLandlineCapture(); return closeLandlineCapture();  };"
         "  app.hasKeyboard = function() { native function hasKeyboard(); return hasKeyboard();  };"
         "  app.setFullScreen = function(arg1) { native function setFullScreen(); return setFullScreen(arg1);  };"
         "})();";
}

AppExtensionHandler::AppExtensionHandler() : main_window_(env::FindMainWindow()) {}

std::u16string AppExtensionHandler::SoftInfo() {
  std::string info = "soft_sign:crm;soft_name:";
  info += env::PRODUCT_NAME;
  info += ";soft_url:";
  info += env::StartUrl();
  info += ";soft_version:";
  info += env::PRODUCT_VERSION;
  return env::Utf8ToUtf16(info);
}

int AppExtensionHandler::FullScreenMode(const engine::V8ValueList& arguments) {
  if (arguments.size() == 1 && arguments[0].IsBool()) return arguments[0].GetBoolValue() ? 1 : 0;
  if (arguments.empty() || (arguments.size() == 1 && arguments[0].IsUndefined())) return 2;
  return -1;
}

bool AppExtensionHandler::Execute(const std::string& name, const engine::V8ValueList& arguments,
                                  engine::V8Value& retval, std::u16string& exception) {
  using engine::V8Value;
  // What acts outside the page is the service's alone; other frames get
  // what the page gets when the call cannot be made.
  if (ActsOutsideThePage(name) &&
      !(name == "closeLandlineCapture" ? CallerMayStopCapture(name) : CallerIsService(name))) {
    if (name == "setFullScreen")
      retval = V8Value::CreateInt(FullScreenMode(arguments) < 0 ? 4 : 1);
    else if (name != "startLandlineCapture" && name != "closeLandlineCapture")
      retval = V8Value::CreateBool(false);
    return true;
  }
  if (name == "rootDefaultBrowser") {
    retval = V8Value::CreateBool(RootDefaultBrowser(arguments));
  } else if (name == "getSoftInfo") {
    retval = V8Value::CreateString(SoftInfo());
  } else if (name == "copyUnicodeText") {
    retval = V8Value::CreateBool(FirstIsString(arguments) &&
                                 platform::SetClipboardUnicodeText(arguments[0].GetStringValue()));
  } else if (name == "copyText") {
    retval = V8Value::CreateBool(FirstIsString(arguments) &&
                                 platform::SetClipboardBytes(env::Utf16ToUtf8(arguments[0].GetStringValue())));
  } else if (name == "isMultiScreen") {
    retval = V8Value::CreateBool(platform::DisplayCount() > 1);
  } else if (name == "getViceScreenRegion") {
    const platform::Rect r = platform::DisplayCount() > 1 ? platform::SecondaryDisplayRect() : platform::Rect{};
    retval = V8Value::CreateArray({V8Value::CreateInt(r.x), V8Value::CreateInt(r.y), V8Value::CreateInt(r.width),
                                   V8Value::CreateInt(r.height)});
  } else if (name == "getScreenCount") {
    const int count = platform::DisplayCount();
    retval = V8Value::CreateInt(count >= 2 ? count : 1);
  } else if (name == "setExtendDualview") {
    retval = V8Value::CreateBool(platform::ExtendDesktopToSecondDisplay(kDualViewTimeoutMs));
  } else if (name == "startLandlineCapture") {
    PostToMainWindow(MSG_LANDLINE_OPEN, 0);
  } else if (name == "closeLandlineCapture") {
    PostToMainWindow(MSG_LANDLINE_CLOSE, 0);
  } else if (name == "hasKeyboard") {
    retval = V8Value::CreateBool(platform::HasKeyboardDevice());
  } else if (name == "setFullScreen") {
    const int mode = FullScreenMode(arguments);
    if (mode < 0)
      retval = V8Value::CreateInt(4);
    else
      retval = V8Value::CreateInt(PostToMainWindow(MSG_FULL_SCREEN, static_cast<uintptr_t>(mode)) ? 0 : 1);
  } else {
    exception = kInvalidArguments;
  }
  return true;
}

std::string AppExtensionHandler::OneWayAnswer(const std::string& name) const {
  // The one-way channel vouches for no frame: calls that act outside the
  // page are refused there, and the page is told so.
  if (name == "rootDefaultBrowser" || name == "copyText" || name == "copyUnicodeText" || name == "setExtendDualview")
    return "function () { return false; }";
  if (name == "setFullScreen")
    return "function (a) { return a.length === 0 || (a.length === 1 && (a[0] === undefined || typeof a[0] === "
           "'boolean')) ? 1 : 4; }";
  if (name == "getSoftInfo") {
    std::string quoted = "\"";
    for (const char16_t unit : SoftInfo()) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(unit));
      quoted += escaped;
    }
    return "function () { return " + quoted + "\"; }";
  }
  return {};
}

bool AppExtensionHandler::RootDefaultBrowser(const engine::V8ValueList& arguments) {
  if (!FirstIsString(arguments) || arguments[0].GetStringValue().empty()) return false;
  const std::string url = env::Utf16ToUtf8(arguments[0].GetStringValue());
  if (!env::IsExternallyOpenableUrl(url)) return false;
  platform::WindowMessage message{WM_COPYDATA, env::kOpenUrlCopyDataMarker, 0};
  message.copy_data_id = env::kOpenUrlCopyDataId;
  message.copy_data = arguments[0].GetStringValue();
  // The page side lives as long as this process, windows come and go:
  // ask for the main window that is there now.
  main_window_ = env::FindMainWindow();
  const intptr_t reply = main_window_ ? main_window_->Send(message) : 0;
  if (reply == env::OPEN_URL_FAILED) return env::OpenWithTheDesktop(url);
  return true;
}

bool AppExtensionHandler::PostToMainWindow(uint32_t message, uintptr_t wparam) {
  if (main_window_ && main_window_->Post({message, wparam, 0})) return true;
  // Not found yet, or the window it knew is gone: look again.
  main_window_ = env::FindMainWindow();
  return main_window_ && main_window_->Post({message, wparam, 0});
}

}  // namespace renderer
