#ifndef ENGINE_PROCESS_MESSAGE_H_
#define ENGINE_PROCESS_MESSAGE_H_

#include <memory>
#include <string>
#include <vector>

namespace engine {

class Browser;

enum ProcessId { PID_BROWSER = 0, PID_RENDERER = 1 };

// A named message between the page side and the browser side.
struct ProcessMessage {
  std::string name;
  std::vector<bool> bool_arguments;
  std::vector<std::string> string_arguments;
};

// The page side of the process model: called for every browser's pages.
class RenderProcessHandler {
 public:
  virtual ~RenderProcessHandler() = default;
  // Once, before any page exists: the time to register extensions.
  virtual void OnWebKitInitialized() {}
  virtual void OnUncaughtException(std::shared_ptr<Browser>, const std::u16string& /*message*/) {}
  // |has_node| false: focus left every node.
  virtual void OnFocusedNodeChanged(std::shared_ptr<Browser>, bool /*has_node*/, bool /*editable*/) {}
};

// Installs the page-side application; OnWebKitInitialized runs at once.
void SetRenderProcessHandler(std::shared_ptr<RenderProcessHandler> handler);
// Delivers |message| from the page side to the browser's client.
void SendProcessMessageToBrowser(std::shared_ptr<Browser> browser, const ProcessMessage& message);

}  // namespace engine

#endif  // ENGINE_PROCESS_MESSAGE_H_
