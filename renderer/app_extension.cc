#include "renderer/app_extension.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "browser/window_messages.h"
#include "env/logs.h"
#include "env/product.h"
#include "env/system_integration.h"
#include "env/utf.h"
#include "platform/desktop_services.h"
#include "renderer/service_frames.h"

namespace renderer {

namespace {

constexpr int kDualViewTimeoutMs = 5000;
constexpr int kOpenTimeoutMs = 5000;
constexpr char16_t kInvalidArguments[] = u"Invalid method arguments";

bool FirstIsString(const engine::V8ValueList& arguments) { return !arguments.empty() && arguments[0].IsString(); }

// The desktop's handler, not waited for: true once it is on its way; a
// handler that then refuses the link is logged.
bool OpenWithTheDesktop(const std::string& url) {
  return platform::OpenWithDefaultHandler(url, kOpenTimeoutMs, "", [url](bool opened) {
    if (!opened) env::WriteProgramLog("the desktop opened no program for " + env::PrintableForLog(url));
  });
}

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
  return env::Utf8ToUtf16(std::string("soft_sign:crm;soft_name:") + env::PRODUCT_NAME + ";soft_url:" + env::StartUrl() +
               ";soft_version:" + env::PRODUCT_VERSION);
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
  if (ActsOutsideThePage(name) && !CallerIsService(name)) {
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
  if (!IsExternallyOpenableUrl(url)) return false;
  platform::WindowMessage message{WM_COPYDATA, kOpenUrlCopyDataMarker, 0};
  message.copy_data_id = kOpenUrlCopyDataId;
  message.copy_data = arguments[0].GetStringValue();
  // The page side lives as long as this process, windows come and go:
  // ask for the main window that is there now.
  main_window_ = env::FindMainWindow();
  const intptr_t reply = main_window_ ? main_window_->Send(message) : 0;
  if (reply == OPEN_URL_FAILED) return OpenWithTheDesktop(url);
  return true;
}

bool AppExtensionHandler::PostToMainWindow(uint32_t message, uintptr_t wparam) {
  if (main_window_ && main_window_->Post({message, wparam, 0})) return true;
  // Not found yet, or the window it knew is gone: look again.
  main_window_ = env::FindMainWindow();
  return main_window_ && main_window_->Post({message, wparam, 0});
}

namespace {

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
  const std::u16string text = env::Utf8ToUtf16(url);
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
  env::WriteProgramLog("external link refused: " + env::PrintableForLog(url));
  return false;
}

intptr_t OpenUrlExternally(const std::string& url) {
  if (!IsExternallyOpenableUrl(url)) return OPEN_URL_FAILED;
  // "--" ends the browser's switches: the URL is never read as one.
  for (const char* browser : {"chromium", "google-chrome", "chromium-browser", "chrome"})
    if (platform::StartProgramByName(browser, {"--", url})) return 0;
  return OpenWithTheDesktop(url) ? 0 : OPEN_URL_FAILED;
}

}  // namespace renderer
