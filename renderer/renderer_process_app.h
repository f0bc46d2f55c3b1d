#ifndef RENDERER_RENDERER_PROCESS_APP_H_
#define RENDERER_RENDERER_PROCESS_APP_H_

#include <memory>
#include <set>

#include "engine/engine.h"
#include "engine/process_message.h"

namespace renderer {

class RendererProcessApp;

// A part of the page-side application; every callback has an empty default.
class RendererDelegate {
 public:
  virtual ~RendererDelegate() = default;
  virtual void OnWebKitInitialized(RendererProcessApp&) {}
  virtual void OnUncaughtException(RendererProcessApp&, std::shared_ptr<engine::Browser>, const std::u16string&) {}
  virtual void OnFocusedNodeChanged(RendererProcessApp&, std::shared_ptr<engine::Browser>, bool /*has_node*/,
                                    bool /*editable*/) {}
};

// Tells the browser side when the editability of the focused node changes.
class RouterFocusDelegate : public RendererDelegate {
 public:
  void OnFocusedNodeChanged(RendererProcessApp& app, std::shared_ptr<engine::Browser> browser, bool has_node,
                            bool editable) override;

 private:
  bool last_node_editable_ = false;
};

// The page side of the product: registers "v8/app" then "v8/kestrin",
// logs uncaught exceptions and reports focus changes.
class RendererProcessApp : public engine::App, public engine::RenderProcessHandler {
 public:
  RendererProcessApp();
  void OnBeforeCommandLineProcessing(const std::string&, engine::CommandLine&) override {}

  void OnWebKitInitialized() override;
  void OnUncaughtException(std::shared_ptr<engine::Browser> browser, const std::u16string& message) override;
  void OnFocusedNodeChanged(std::shared_ptr<engine::Browser> browser, bool has_node, bool editable) override;

 private:
  std::set<std::shared_ptr<RendererDelegate>> delegates_;
};

}  // namespace renderer

#endif  // RENDERER_RENDERER_PROCESS_APP_H_
