#ifndef ENGINE_ENGINE_H_
#define ENGINE_ENGINE_H_

// Engine-shaped interfaces over the embedded browser engine. Everything above
// engine/ codes against these only; engine/qt/ binds them to Qt WebEngine.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/command_line.h"
#include "engine/css_color.h"

class QWidget;

namespace engine {

struct MainArgs {
  int argc = 0;
  char** argv = nullptr;
};

// Chromium's log severities as the engine's settings name them.
enum LogSeverity { LOGSEVERITY_DEFAULT = 0, LOGSEVERITY_VERBOSE = 1, LOGSEVERITY_INFO = 2,
                   LOGSEVERITY_WARNING = 3, LOGSEVERITY_ERROR = 4, LOGSEVERITY_DISABLE = 99 };

struct Settings {
  bool no_sandbox = false;
  bool multi_threaded_message_loop = false;
  std::string locale;
  std::string accept_language_list;
  std::string log_file;
  LogSeverity log_severity = LOGSEVERITY_DEFAULT;
  int remote_debugging_port = 0;
  int uncaught_exception_stack_size = 0;
  bool windowless_rendering_enabled = false;
  Color background_color = 0;
};

struct BrowserSettings {
  int windowless_frame_rate = 0;
};

struct RequestContextSettings {
  std::string cache_path;  // empty: storage in memory only
};

enum PluginPolicy { PLUGIN_POLICY_ALLOW = 0, PLUGIN_POLICY_DETECT_IMPORTANT = 1,
                    PLUGIN_POLICY_BLOCK = 2, PLUGIN_POLICY_DISABLE = 3 };

class RequestContextHandler {
 public:
  virtual ~RequestContextHandler() = default;
  // Decides whether the plug-in for |mime_type| may load. Returns true when
  // it decided (|policy| set).
  virtual bool OnBeforePluginLoad(const std::string& mime_type, PluginPolicy& policy) = 0;
};

class RequestContext {
 public:
  virtual ~RequestContext() = default;
  // A context with its own storage at |settings.cache_path|.
  static std::shared_ptr<RequestContext> CreateContext(const RequestContextSettings& settings,
                                                       std::shared_ptr<RequestContextHandler> handler);
  // A context that shares storage with the global one.
  static std::shared_ptr<RequestContext> CreateSharedWithGlobal(std::shared_ptr<RequestContextHandler> handler);
  virtual std::string GetCachePath() const = 0;
};

class CookieManager {
 public:
  virtual ~CookieManager() = default;
  static std::shared_ptr<CookieManager> GetGlobalManager();
  virtual void SetSupportedSchemes(const std::vector<std::string>& schemes) = 0;
  // An empty path keeps cookies in memory only.
  virtual bool SetStoragePath(const std::string& path, bool persist_session_cookies) = 0;
};

class Frame {
 public:
  virtual ~Frame() = default;
  virtual bool IsMain() const = 0;
  virtual std::string GetURL() const = 0;
  virtual void LoadURL(const std::string& url) = 0;
  // Shows |html| with |url| as the frame's address.
  virtual void LoadString(const std::u16string& html, const std::string& url) = 0;
  virtual void ExecuteJavaScript(const std::u16string& code, const std::string& script_url, int start_line) = 0;
};

class Browser;

class BrowserHost {
 public:
  virtual ~BrowserHost() = default;
  // Asks the page to close: unload handlers run, then the client's DoClose.
  // |force| skips the unload handlers.
  virtual void CloseBrowser(bool force) = 0;
  virtual void SetFocus(bool focus) = 0;
  virtual QWidget* GetWindowHandle() const = 0;
};

class Browser {
 public:
  virtual ~Browser() = default;
  virtual int GetIdentifier() const = 0;
  virtual std::shared_ptr<Frame> GetMainFrame() = 0;
  virtual BrowserHost* GetHost() = 0;
  virtual bool CanGoBack() const = 0;
  virtual bool CanGoForward() const = 0;
  virtual void GoBack() = 0;
  virtual void GoForward() = 0;
  virtual void Reload() = 0;
  virtual void StopLoad() = 0;
  virtual bool IsSame(const Browser& other) const { return GetIdentifier() == other.GetIdentifier(); }
};

// Chromium net error codes the product refers to.
enum ErrorCode { ERR_NONE = 0, ERR_ABORTED = -3, ERR_NAME_NOT_RESOLVED = -105,
                 ERR_UNKNOWN_URL_SCHEME = -302 };

// The engine client of one browser: the engine calls these on the UI thread.
class Client {
 public:
  virtual ~Client() = default;
  // Life span.
  virtual void OnAfterCreated(std::shared_ptr<Browser> browser) = 0;
  // Returns false to let the close proceed (the top-level window is closed).
  virtual bool DoClose(std::shared_ptr<Browser> browser) = 0;
  virtual void OnBeforeClose(std::shared_ptr<Browser> browser) = 0;
  // Load.
  virtual void OnLoadingStateChange(std::shared_ptr<Browser> browser, bool is_loading, bool can_go_back,
                                    bool can_go_forward) = 0;
  virtual void OnLoadEnd(std::shared_ptr<Browser> browser, std::shared_ptr<Frame> frame, int http_status_code) = 0;
  virtual void OnLoadError(std::shared_ptr<Browser> browser, std::shared_ptr<Frame> frame, int error_code,
                           const std::string& error_text, const std::string& failed_url) = 0;
  // Display.
  virtual void OnAddressChange(std::shared_ptr<Browser> browser, std::shared_ptr<Frame> frame,
                               const std::string& url) = 0;
  virtual void OnTitleChange(std::shared_ptr<Browser> browser, const std::u16string& title) = 0;
  virtual void OnFullscreenModeChange(std::shared_ptr<Browser> browser, bool fullscreen) = 0;
  // Returns true to stop the engine's own console output.
  virtual bool OnConsoleMessage(std::shared_ptr<Browser> browser, const std::u16string& message,
                                const std::string& source, int line) = 0;
};

// The process-level delegate handed to the engine.
class BrowserProcessHandler {
 public:
  virtual ~BrowserProcessHandler() = default;
  virtual void OnContextInitialized() = 0;
};

class App {
 public:
  virtual ~App() = default;
  // Called before the engine reads its command line; |process_type| is
  // empty in the browser process.
  virtual void OnBeforeCommandLineProcessing(const std::string& process_type, CommandLine& command_line) = 0;
  virtual BrowserProcessHandler* GetBrowserProcessHandler() { return nullptr; }
};

struct WindowInfo {
  QWidget* parent = nullptr;
  int x = 0, y = 0, width = 0, height = 0;
};

// Runs a sub-process of the engine. Returns -1 in the browser process; for a
// sub-process it hands the process over to the engine's helper and does not
// return unless that fails (then a positive exit code).
int ExecuteProcess(const MainArgs& args, App* app);

bool Initialize(const MainArgs& args, const Settings& settings, App* app);
void Shutdown();

void RunMessageLoop();
void QuitMessageLoop();
// Runs |task| on the UI thread; callable from any thread. Dropped when the
// engine is not initialised.
void PostTask(std::function<void()> task);
bool CurrentlyOnUiThread();

// Creates the browser asynchronously; the client's OnAfterCreated follows.
bool CreateBrowser(const WindowInfo& window_info, std::shared_ptr<Client> client, const std::string& url,
                   const BrowserSettings& settings, std::shared_ptr<RequestContext> request_context);

// Chromium switches for the settings, in a fixed order (exposed for tests).
std::vector<std::string> SwitchesForSettings(const Settings& settings);

}  // namespace engine

#endif  // ENGINE_ENGINE_H_
