#include "renderer/renderer_process_app.h"

#include "env/logs.h"
#include "renderer/app_extension.h"
#include "renderer/kestrin_extension.h"

namespace renderer {

void RouterFocusDelegate::OnFocusedNodeChanged(RendererProcessApp&, std::shared_ptr<engine::Browser> browser,
                                               bool has_node, bool editable) {
  const bool now_editable = has_node && editable;
  if (now_editable == last_node_editable_) return;
  last_node_editable_ = now_editable;
  engine::SendProcessMessageToBrowser(browser, {"ClientRenderer.FocusedNodeChanged", {now_editable}, {}});
}

RendererProcessApp::RendererProcessApp() { delegates_.insert(std::make_shared<RouterFocusDelegate>()); }

void RendererProcessApp::OnWebKitInitialized() {
  engine::RegisterExtension("v8/app", AppExtensionSource(), std::make_shared<AppExtensionHandler>());
  engine::RegisterExtension("v8/kestrin", KestrinExtensionSource(), std::make_shared<KestrinExtensionHandler>());
  for (const auto& delegate : delegates_) delegate->OnWebKitInitialized(*this);
}

void RendererProcessApp::OnUncaughtException(std::shared_ptr<engine::Browser> browser, const std::u16string& message) {
  env::WriteCrashLog(message);
  for (const auto& delegate : delegates_) delegate->OnUncaughtException(*this, browser, message);
}

void RendererProcessApp::OnFocusedNodeChanged(std::shared_ptr<engine::Browser> browser, bool has_node,
                                              bool editable) {
  for (const auto& delegate : delegates_) delegate->OnFocusedNodeChanged(*this, browser, has_node, editable);
}

}  // namespace renderer
