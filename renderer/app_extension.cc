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

using engine::V8Value;
using engine::V8ValueList;

constexpr int kDualViewTimeoutMs = 5000;
constexpr char16_t kInvalidArguments[] = u"Invalid method arguments";
constexpr char kFalse[] = "function () { return false; }";

bool FirstIsString(const V8ValueList& arguments) { return !arguments.empty() && arguments[0].IsString(); }

// Who may make a call: any frame, the service's frames, or (to stop the
// capture) any frame the capture's rule lets stop it.
enum class Reach { kAnyFrame, kService, kStopsCapture };

// One call of `app`, everything about it in one row.
struct BridgeCall {
  const char* name;
  bool takes_argument;  // the page's stub passes its first argument on
  Reach reach;
  void (*run)(AppExtensionHandler& handler, const V8ValueList& arguments, V8Value& retval);
  // What a frame that may not make the call gets; none: undefined.
  void (*refused)(const V8ValueList& arguments, V8Value& retval);
  // The function the one-way channel answers with (it vouches for no
  // frame); none: no answer.
  std::string (*one_way)();
};

void RefusedFalse(const V8ValueList&, V8Value& retval) { retval = V8Value::CreateBool(false); }
std::string OneWayFalse() { return kFalse; }

// The display queries answer where no answer comes (unload handlers) with
// the frame's last answer, or else what the displays were at start.
std::string MultiScreenFunction() {
  return std::string("function (args, last) { return typeof last === 'boolean' ? last : ") +
         (platform::DisplayCount() > 1 ? "true" : "false") + "; }";
}

std::string ScreenCountFunction() {
  return "function (args, last) { return typeof last === 'number' && last >= 1 ? last : " +
         std::to_string(std::max(platform::DisplayCount(), 1)) + "; }";
}

std::string ViceScreenRegionFunction() {
  const platform::Rect d = platform::DisplayCount() > 1 ? platform::SecondaryDisplayRect() : platform::Rect{};
  return "function (args, last) { return Array.isArray(last) && last.length === 4 ? last : [" + std::to_string(d.x) +
         ", " + std::to_string(d.y) + ", " + std::to_string(d.width) + ", " + std::to_string(d.height) + "]; }";
}

std::string SoftInfoFunction() {
  std::string quoted = "\"";
  for (const char16_t unit : AppExtensionHandler::SoftInfo()) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(unit));
    quoted += escaped;
  }
  return "function () { return " + quoted + "\"; }";
}

const BridgeCall kCalls[] = {
    {"rootDefaultBrowser", true, Reach::kService,
     [](AppExtensionHandler& h, const V8ValueList& a, V8Value& r) { r = V8Value::CreateBool(h.RootDefaultBrowser(a)); },
     RefusedFalse, OneWayFalse},
    {"getSoftInfo", false, Reach::kAnyFrame,
     [](AppExtensionHandler&, const V8ValueList&, V8Value& r) {
       r = V8Value::CreateString(AppExtensionHandler::SoftInfo());
     },
     nullptr, SoftInfoFunction},
    {"copyUnicodeText", true, Reach::kService,
     [](AppExtensionHandler&, const V8ValueList& a, V8Value& r) {
       r = V8Value::CreateBool(FirstIsString(a) && platform::SetClipboardUnicodeText(a[0].GetStringValue()));
     },
     RefusedFalse, OneWayFalse},
    {"copyText", true, Reach::kService,
     [](AppExtensionHandler&, const V8ValueList& a, V8Value& r) {
       r = V8Value::CreateBool(FirstIsString(a) &&
                               platform::SetClipboardBytes(env::Utf16ToUtf8(a[0].GetStringValue())));
     },
     RefusedFalse, OneWayFalse},
    {"isMultiScreen", false, Reach::kAnyFrame,
     [](AppExtensionHandler&, const V8ValueList&, V8Value& r) { r = V8Value::CreateBool(platform::DisplayCount() > 1); },
     nullptr, MultiScreenFunction},
    {"getViceScreenRegion", false, Reach::kAnyFrame,
     [](AppExtensionHandler&, const V8ValueList&, V8Value& r) {
       const platform::Rect d = platform::DisplayCount() > 1 ? platform::SecondaryDisplayRect() : platform::Rect{};
       r = V8Value::CreateArray({V8Value::CreateInt(d.x), V8Value::CreateInt(d.y), V8Value::CreateInt(d.width),
                                 V8Value::CreateInt(d.height)});
     },
     nullptr, ViceScreenRegionFunction},
    {"getScreenCount", false, Reach::kAnyFrame,
     [](AppExtensionHandler&, const V8ValueList&, V8Value& r) {
       const int count = platform::DisplayCount();
       r = V8Value::CreateInt(count >= 2 ? count : 1);
     },
     nullptr, ScreenCountFunction},
    {"setExtendDualview", false, Reach::kService,
     [](AppExtensionHandler&, const V8ValueList&, V8Value& r) {
       r = V8Value::CreateBool(platform::ExtendDesktopToSecondDisplay(kDualViewTimeoutMs));
     },
     RefusedFalse, OneWayFalse},
    {"startLandlineCapture", false, Reach::kService,
     [](AppExtensionHandler& h, const V8ValueList&, V8Value&) { h.PostToMainWindow(MSG_LANDLINE_OPEN, 0); }, nullptr,
     nullptr},
    {"closeLandlineCapture", false, Reach::kStopsCapture,
     [](AppExtensionHandler& h, const V8ValueList&, V8Value&) { h.PostToMainWindow(MSG_LANDLINE_CLOSE, 0); }, nullptr,
     nullptr},
    {"hasKeyboard", false, Reach::kAnyFrame,
     [](AppExtensionHandler&, const V8ValueList&, V8Value& r) { r = V8Value::CreateBool(platform::HasKeyboardDevice()); },
     nullptr, nullptr},
    {"setFullScreen", true, Reach::kService,
     [](AppExtensionHandler& h, const V8ValueList& a, V8Value& r) {
       const int mode = AppExtensionHandler::FullScreenMode(a);
       r = V8Value::CreateInt(mode < 0 ? 4 : h.PostToMainWindow(MSG_FULL_SCREEN, static_cast<uintptr_t>(mode)) ? 0 : 1);
     },
     [](const V8ValueList& a, V8Value& r) { r = V8Value::CreateInt(AppExtensionHandler::FullScreenMode(a) < 0 ? 4 : 1); },
     [] {
       return std::string(
           "function (a) { return a.length === 0 || (a.length === 1 && (a[0] === undefined || typeof a[0] === "
           "'boolean')) ? 1 : 4; }");
     }},
};

const BridgeCall* FindCall(const std::string& name) {
  for (const BridgeCall& call : kCalls)
    if (name == call.name) return &call;
  return nullptr;
}

}  // namespace

std::string AppExtensionSource() {
  std::string source = "var app;if (!app) app = {};(function() {";
  for (const BridgeCall& call : kCalls) {
    const std::string name = call.name;
    const std::string argument = call.takes_argument ? "arg1" : "";
    source += "  app." + name + " = function(" + argument + ") { native function " + name + "(); return " + name +
              "(" + argument + ");  };";
  }
  return source + "})();";
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

int AppExtensionHandler::FullScreenMode(const V8ValueList& arguments) {
  if (arguments.size() == 1 && arguments[0].IsBool()) return arguments[0].GetBoolValue() ? 1 : 0;
  if (arguments.empty() || (arguments.size() == 1 && arguments[0].IsUndefined())) return 2;
  return -1;
}

bool AppExtensionHandler::Execute(const std::string& name, const V8ValueList& arguments, V8Value& retval,
                                  std::u16string& exception) {
  const BridgeCall* call = FindCall(name);
  if (!call) {
    exception = kInvalidArguments;
    return true;
  }
  // What acts outside the page is the service's alone; other frames get
  // what the page gets when the call cannot be made.
  const bool allowed = call->reach == Reach::kAnyFrame ||
                       (call->reach == Reach::kStopsCapture ? CallerMayStopCapture(name) : CallerIsService(name));
  if (!allowed) {
    if (call->refused) call->refused(arguments, retval);
    return true;
  }
  call->run(*this, arguments, retval);
  return true;
}

std::string AppExtensionHandler::OneWayAnswer(const std::string& name) const {
  const BridgeCall* call = FindCall(name);
  return call && call->one_way ? call->one_way() : std::string();
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
