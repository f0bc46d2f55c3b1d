#ifndef ENGINE_ENGINE_H_
#define ENGINE_ENGINE_H_

// Engine-shaped interfaces over the embedded browser engine. Everything above
// engine/ codes against these only; engine/qt/ binds them to Qt WebEngine.
//
// What the Qt binding takes no notice of, because Qt WebEngine has no
// such thing: Find's identifier and find_next (Qt continues a search of
// the same text by itself), ShowDevTools' settings, ExecuteJavaScript's
// script URL and line, and a request's own headers (GetHeaderMap is empty;
// SetHeaderMap adds or replaces), and a mouse event's Caps Lock and Num
// Lock (a Qt mouse event has none). Client::OnTitleChange is called, and
// the product leaves it to its default.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/command_line.h"
#include "engine/css_color.h"
#include "engine/process_message.h"
#include "engine/windowless_view.h"

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
  // No remote debugging, whatever the environment asks.
  bool remote_debugging_shut = false;
  int uncaught_exception_stack_size = 0;
  bool windowless_rendering_enabled = false;
  Color background_color = 0;
  // Switches that can be decided only once the application object exists
  // (they need its script engine); read before the engine starts.
  std::function<std::vector<std::string>()> late_switches;
};

// How a navigation wants its new window.
enum WindowOpenDisposition {
  WOD_UNKNOWN = 0, WOD_SUPPRESS_OPEN = 1, WOD_CURRENT_TAB = 2, WOD_SINGLETON_TAB = 3,
  WOD_NEW_FOREGROUND_TAB = 4, WOD_NEW_BACKGROUND_TAB = 5, WOD_NEW_POPUP = 6, WOD_NEW_WINDOW = 7,
};

struct PopupFeatures {
  bool dialog = false;
};

// A desktop notification a page shows.
struct Notification {
  std::string origin;
  std::u16string title;
  std::u16string message;
};
// Where the pages' notifications go (process-wide, UI thread); without a
// presenter they are dropped.
void SetNotificationPresenter(std::function<void(const Notification&)> presenter);

// One download as the engine reports it at a moment.
struct DownloadItem {
  uint32_t id = 0;
  bool in_progress = false;
  bool complete = false;
  bool canceled = false;  // by anyone, or interrupted
  int64_t received_bytes = 0;
  int64_t total_bytes = -1;   // -1 while unknown
  int percent_complete = -1;  // -1 while the size is unknown
  std::string url;        // its own address, after redirects
  std::string full_path;  // the target, once chosen
  // The navigation that became this download: the origin of the document
  // that started it (empty when the user or the program did), and every
  // address it went through, its own last (an address not seen is an empty
  // one). Both empty when no navigation was seen, as for a blob: address.
  std::string initiator;
  std::vector<std::string> url_chain;
};

class BeforeDownloadCallback {
 public:
  virtual ~BeforeDownloadCallback() = default;
  // Saves the download at |download_path| (a full path).
  virtual void Continue(const std::string& download_path) = 0;
};

// The answer to a server's or proxy's request for a user name and password.
class AuthCallback {
 public:
  virtual ~AuthCallback() = default;
  virtual void Continue(const std::string& user, const std::string& password) = 0;
  virtual void Cancel() = 0;
};

// Who asks for credentials. |retry| is set when the engine already had
// credentials from the client for this place and they were refused: the
// refused ones are given.
struct AuthChallenge {
  bool is_proxy = false;
  std::string host;  // the proxy's host, or the site's host:port
  std::string realm;
  std::string request_url;
  bool retry = false;
  std::string refused_user;
  std::string refused_password;
};

class DownloadItemCallback {
 public:
  virtual ~DownloadItemCallback() = default;
  virtual void Cancel() = 0;
};

enum JSDialogType { JSDIALOGTYPE_ALERT = 0, JSDIALOGTYPE_CONFIRM = 1, JSDIALOGTYPE_PROMPT = 2 };

class JSDialogCallback {
 public:
  virtual ~JSDialogCallback() = default;
  virtual void Continue(bool success, const std::u16string& user_input) = 0;
};

enum ResourceType {
  RT_MAIN_FRAME = 0, RT_SUB_FRAME, RT_STYLESHEET, RT_SCRIPT, RT_IMAGE, RT_FONT_RESOURCE, RT_SUB_RESOURCE,
  RT_OBJECT, RT_MEDIA, RT_WORKER, RT_SHARED_WORKER, RT_PREFETCH, RT_FAVICON, RT_XHR, RT_PING,
  RT_SERVICE_WORKER, RT_CSP_REPORT, RT_PLUGIN_RESOURCE, RT_NAVIGATION_PRELOAD_MAIN_FRAME = 19,
  RT_NAVIGATION_PRELOAD_SUB_FRAME, RT_WEB_SOCKET = 254, RT_UNKNOWN = 255
};

// A resource request as OnBeforeResourceLoad sees it.
class Request {
 public:
  using HeaderMap = std::multimap<std::string, std::string>;
  virtual ~Request() = default;
  virtual std::string GetURL() const = 0;
  virtual ResourceType GetResourceType() const = 0;
  // The origin of the document that made the request ("scheme://host:port");
  // empty when the browser itself did.
  virtual std::string GetInitiator() const = 0;
  virtual void GetHeaderMap(HeaderMap& headers) const = 0;
  virtual void SetHeaderMap(const HeaderMap& headers) = 0;
};

// The certificate of a failed TLS connection; times in seconds since 1970
// (0: unset).
struct SslInfo {
  uint32_t cert_status = 0;
  std::optional<std::string> subject;
  std::optional<std::string> issuer;
  std::optional<std::string> serial_number;
  int64_t valid_start = 0;
  int64_t valid_expiry = 0;
  std::string der;
  std::string pem;
  std::vector<std::string> issuer_chain_der;
  std::vector<std::string> issuer_chain_pem;
};

class ContextMenuModel {
 public:
  virtual ~ContextMenuModel() = default;
  virtual bool Clear() = 0;
  virtual size_t GetCount() const = 0;
};

enum DragOperationsMask : uint32_t { DRAG_OPERATION_NONE = 0, DRAG_OPERATION_COPY = 1, DRAG_OPERATION_LINK = 2,
                                     DRAG_OPERATION_MOVE = 16 };

enum TerminationStatus { TS_ABNORMAL_TERMINATION, TS_PROCESS_WAS_KILLED, TS_PROCESS_CRASHED };

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
  // Every request of the context, before a browser's client sees it; some
  // reach no client at all (the first request of a new window).
  virtual void OnBeforeResourceLoad(Request&) {}
};

class RequestContext {
 public:
  virtual ~RequestContext() = default;
  // A context with its own storage at |settings.cache_path|.
  static std::shared_ptr<RequestContext> CreateContext(const RequestContextSettings& settings,
                                                       std::shared_ptr<RequestContextHandler> handler);
  // A context that shares storage with the global one.
  static std::shared_ptr<RequestContext> CreateSharedWithGlobal(std::shared_ptr<RequestContextHandler> handler);
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
  // Runs |code| in the frame's document; |done| learns later whether its
  // value was true. False also when it never ran: the document or the
  // renderer went first.
  virtual void EvaluateJavaScript(const std::u16string& code, std::function<void(bool)> done) = 0;
  // Hands the frame's text, without markup, to |visitor| later.
  virtual void GetText(std::function<void(const std::u16string&)> visitor) = 0;
};

class Browser;
class Client;

// Where a browser's window goes.
struct WindowInfo {
  QWidget* parent = nullptr;
  uint32_t style = 0;
  int x = 0, y = 0, width = 0, height = 0;
  // No window of its own: the frames go to the client's render handler.
  bool windowless_rendering_enabled = false;
  bool transparent_painting_enabled = false;
  int windowless_frame_rate = 0;  // from the browser settings; 0 is 30
};

// What the client does to one browser: close, focus, find and, when it is
// windowless, hand it the input. Browser::GetHost gives it.
class BrowserControl {
 public:
  virtual ~BrowserControl() = default;
  // Asks the page to close: unload handlers run, then the client's DoClose.
  // |force| skips the unload handlers.
  virtual void CloseBrowser(bool force) = 0;
  virtual void SetFocus(bool focus) = 0;
  virtual QWidget* GetWindowHandle() const = 0;
  // Finds |text| in the page; |find_next| continues the last search.
  virtual void Find(int identifier, const std::u16string& text, bool forward, bool match_case, bool find_next) = 0;
  virtual void StopFinding(bool clear_selection) = 0;
  // Opens the developer tools of this browser in a new browser.
  virtual void ShowDevTools(const WindowInfo& window_info, std::shared_ptr<Client> client,
                            const BrowserSettings& settings) = 0;
  // Empties the HTTP cache of this browser's context, under the running
  // engine.
  virtual void ClearHttpCache() {}

  // Windowless browsers only: the view changed size or visibility, or
  // wants a whole new frame; input for the page.
  virtual void WasResized() {}
  // The window showing the view moved on the screen.
  virtual void NotifyMoveOrResizeStarted() {}
  virtual void WasHidden(bool) {}
  virtual void Invalidate(PaintElementType) {}
  virtual void SendFocusEvent(bool) {}
  virtual void SendKeyEvent(const KeyEvent&) {}
  virtual void SendMouseClickEvent(const MouseEvent&, MouseButtonType, bool /*mouse_up*/, int /*click_count*/) {}
  virtual void SendMouseMoveEvent(const MouseEvent&, bool /*mouse_leave*/) {}
  virtual void SendMouseWheelEvent(const MouseEvent&, int /*delta_x*/, int /*delta_y*/) {}
  // The input method's text being composed (|caret| within it), its
  // committed text, or the composition given up.
  virtual void ImeSetComposition(const std::u16string& /*text*/, int /*caret*/) {}
  virtual void ImeCommitText(const std::u16string& /*text*/) {}
  virtual void ImeCancelComposition() {}
  // The caret of the focused editable element in view coordinates, where
  // the input method puts its candidates; empty when nothing is edited.
  virtual PaintRect ImeCaretBounds() { return {}; }
};

class Browser {
 public:
  virtual ~Browser() = default;
  virtual int GetIdentifier() const = 0;
  virtual std::shared_ptr<Frame> GetMainFrame() = 0;
  virtual BrowserControl* GetHost() = 0;
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
  // The frames of a windowless browser go here.
  virtual std::shared_ptr<RenderHandler> GetRenderHandler() { return nullptr; }
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
  virtual void OnTitleChange(std::shared_ptr<Browser>, const std::u16string& /*title*/) {}
  virtual void OnFullscreenModeChange(std::shared_ptr<Browser> browser, bool fullscreen) = 0;
  // Returns true to stop the engine's own console output.
  virtual bool OnConsoleMessage(std::shared_ptr<Browser> browser, const std::u16string& message,
                                const std::string& source, int line) = 0;

  // Popups and links into new windows. |opener_origin| is the origin of
  // the document that asked for the window, empty when it is not known.
  // Returning true cancels the new window. Otherwise |window_info|,
  // |client| and |settings| describe it.
  virtual bool OnBeforePopup(std::shared_ptr<Browser>, std::shared_ptr<Frame>, const std::string& /*target_url*/,
                             const std::string& /*target_frame_name*/, WindowOpenDisposition, bool /*user_gesture*/,
                             const std::string& /*opener_origin*/, const PopupFeatures&, WindowInfo&,
                             std::shared_ptr<Client>&, BrowserSettings&) {
    return true;
  }
  // A link into a new tab: returns whether the client opened it; one it
  // does not open is not opened at all. A root window the client makes for
  // |url| meanwhile (on this thread) takes over the engine's new page, with
  // its opener and the origin that asked.
  virtual bool OnOpenURLFromTab(std::shared_ptr<Browser>, std::shared_ptr<Frame>, const std::string& /*url*/,
                                WindowOpenDisposition, bool /*user_gesture*/, const std::string& /*opener_origin*/) {
    return false;
  }
  // Keys before the page sees them; returning true consumes the event.
  virtual bool OnPreKeyEvent(std::shared_ptr<Browser>, const KeyEvent&) { return false; }
  // Returning true means the client answers |callback|; false leaves the
  // dialog to the engine unless |suppress_message| is set.
  virtual bool OnJSDialog(std::shared_ptr<Browser>, const std::string& /*origin_url*/, JSDialogType,
                          const std::u16string& /*message*/, const std::u16string& /*default_prompt*/,
                          std::shared_ptr<JSDialogCallback>, bool& /*suppress_message*/) {
    return false;
  }
  // Every request of the browser, sub-resources included.
  virtual void OnBeforeResourceLoad(std::shared_ptr<Browser>, Request&) {}
  // A page starts a download. Without Continue before this returns, the
  // download is cancelled.
  virtual void OnBeforeDownload(std::shared_ptr<Browser>, const DownloadItem&, const std::string& /*suggested_name*/,
                                std::shared_ptr<BeforeDownloadCallback>) {}
  // Progress, completion, cancellation; |browser| is null once the browser
  // that started the download is gone.
  virtual void OnDownloadUpdated(std::shared_ptr<Browser>, const DownloadItem&, std::shared_ptr<DownloadItemCallback>) {}
  // Returning true means the client answers |callback|, before this
  // returns or from a dialog's loop; false cancels the request.
  virtual bool GetAuthCredentials(std::shared_ptr<Browser>, const AuthChallenge&, std::shared_ptr<AuthCallback>) {
    return false;
  }
  // Returning false cancels the request.
  virtual bool OnCertificateError(std::shared_ptr<Browser>, int /*cert_error*/, const std::string& /*request_url*/,
                                  const SslInfo&) {
    return false;
  }
  // An unknown scheme, for the main frame or another; set
  // |allow_os_execution| to hand it to the system.
  virtual void OnProtocolExecution(std::shared_ptr<Browser>, const std::string& /*url*/, bool /*main_frame*/,
                                   bool& /*allow*/) {}
  virtual void OnRenderProcessTerminated(std::shared_ptr<Browser>, TerminationStatus) {}
  virtual void OnBeforeContextMenu(std::shared_ptr<Browser>, ContextMenuModel&) {}
  // Returning true refuses the drag.
  virtual bool OnDragEnter(std::shared_ptr<Browser>, const DragData&, uint32_t /*allowed_operations*/) { return false; }
  virtual bool OnRequestGeolocationPermission(std::shared_ptr<Browser>, const std::string& /*origin*/) {
    return false;
  }
  // Every other permission a page asks for is refused.
  virtual bool OnRequestNotificationPermission(std::shared_ptr<Browser>, const std::string& /*origin*/) {
    return false;
  }
  // Persistent storage of |new_size| bytes for |origin|; true grants it.
  virtual bool OnQuotaRequest(std::shared_ptr<Browser>, const std::string& /*origin*/, int64_t /*new_size*/) {
    return false;
  }
  // A message from the page side; returns true when handled.
  virtual bool OnProcessMessageReceived(std::shared_ptr<Browser>, ProcessId, const ProcessMessage&) {
    return false;
  }
  // A page's cefQuery(); answer through |callback| (now or later).
  class QueryCallback {
   public:
    virtual ~QueryCallback() = default;
    virtual void Success(const std::string& response) = 0;
    virtual void Failure(int error_code, const std::string& error_message) = 0;
  };
  virtual void OnQuery(std::shared_ptr<Browser>, int64_t /*query_id*/, const std::string& /*request*/,
                       bool /*persistent*/, std::shared_ptr<QueryCallback> callback) {
    callback->Failure(-1, "The query has been canceled");
  }
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


// Runs a sub-process of the engine. Returns -1 in the browser process; for a
// sub-process it hands the process over to the engine's helper and does not
// return unless that fails (then a positive exit code).
int ExecuteProcess(const MainArgs& args, App* app);

bool Initialize(const MainArgs& args, const Settings& settings, App* app);
void Shutdown();

// The engine that runs, for support: "Qt WebEngine 6.8.2 (Chromium
// 122.0.6261.171, security patches 133.0.6943.141)". Needs no Initialize.
std::string EngineVersion();

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
