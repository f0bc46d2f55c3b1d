#include "renderer/kestrin_extension.h"

#include "env/system_integration.h"
#include "env/window_messages.h"
#include "renderer/service_frames.h"

namespace renderer {

std::string KestrinExtensionSource() {
  return "var kestrin;if (!kestrin)  kestrin = {};(function() {  kestrin.openIncomingNotify = function() {  native "
         "function startListenPNThread();  return startListenPNThread();  };  kestrin.closeIncomingNotify = "
         "function() {  native function closeListenPNThread();  return closeListenPNThread();  };})();";
}

bool KestrinExtensionHandler::Execute(const std::string& name, const engine::V8ValueList&, engine::V8Value& retval,
                                      std::u16string& exception) {
  if (name == "startListenPNThread") {
    // Sent, not posted: a listener that could not bind answers false.
    auto window = CallerIsService(name) ? env::FindMainWindow() : nullptr;
    retval = engine::V8Value::CreateBool(window && window->Send({MSG_MOBILE_CAPTURE_ON, 0, 0}) == 1);
  } else if (name == "closeListenPNThread") {
    if (!CallerMayStopCapture(name)) return true;
    if (auto window = env::FindMainWindow()) window->Post({MSG_MOBILE_CAPTURE_OFF, 0, 0});
  } else {
    exception = u"Invalid method arguments";
  }
  return true;
}

std::string KestrinExtensionHandler::OneWayAnswer(const std::string& name) const {
  // The one-way channel vouches for no frame: capture is not switched on.
  return name == "startListenPNThread" ? "function () { return false; }" : std::string();
}

}  // namespace renderer
