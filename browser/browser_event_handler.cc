#include "browser/browser_event_handler.h"

#include <algorithm>
#include <cctype>

#include <QTimer>
#include <QWidget>

#include "browser/error_pages.h"
#include "browser/popup_geometry.h"
#include "browser/request_headers.h"
#include "browser/window_registry.h"
#include "engine/net_errors.h"
#include "env/logs.h"
#include "env/paths.h"
#include "env/product.h"
#include "env/service_origin.h"
#include "env/sign_in.h"
#include "env/startup_timeline.h"
#include "env/system_integration.h"
#include "env/utf.h"
#include "env/window_messages.h"
#include "platform/desktop_services.h"
#include "platform/file_dialog.h"
#include "platform/ini_profile.h"
#include "platform/message_box.h"
#include "platform/screen.h"

namespace browser {

namespace {
constexpr int64_t kMaxQuotaBytes = 20 * 1024 * 1024;
constexpr size_t kMaxNotificationLogUnits = 500;
// Each window is a renderer and a view: a page that opens windows without
// end would take the machine's memory.
constexpr size_t kMostWindows = 32;
}  // namespace

BrowserEventHandler::BrowserEventHandler(BrowserEventDelegate* delegate, PageStateObserver* page_state, bool offscreen,
                                         std::string start_url)
    : offscreen_(offscreen),
      start_url_(std::move(start_url)),
      delegate_(delegate),
      page_state_(page_state),
      downloads_(env::StartUrl(), platform::AskSaveFilePath, [this](uint32_t command, intptr_t lparam) {
        // Downloads outlive the popup that started them: its window gone,
        // the main window hears of them (an upgrade is started from there).
        const platform::WindowMessage message{WM_COMMAND, command, lparam};
        if (main_window_ && main_window_->Post(message)) return;
        if (auto main = env::FindMainWindow()) main->Post(message);
      }),
      recovery_([this](std::chrono::milliseconds delay, std::function<void()> task) {
        QTimer::singleShot(delay, [weak = weak_from_this(), task = std::move(task)] {
          if (weak.lock()) task();
        });
      }) {}

void BrowserEventHandler::SetMainWindowHandle(std::shared_ptr<platform::WindowHandle> window) {
  main_window_ = std::move(window);
}

void BrowserEventHandler::ClearDelegate() {
  if (!engine::CurrentlyOnUiThread()) {
    engine::PostTask([self = shared_from_this()] { self->ClearDelegate(); });
    return;
  }
  delegate_ = nullptr;
  page_state_ = nullptr;
}

void BrowserEventHandler::OnAfterCreated(std::shared_ptr<engine::Browser> browser) {
  ++browser_count_;
  if (delegate_) delegate_->BrowserCreated(browser);
}

bool BrowserEventHandler::DoClose(std::shared_ptr<engine::Browser> browser) {
  if (delegate_) delegate_->BrowserClosing(browser);
  return false;
}

void BrowserEventHandler::OnBeforeClose(std::shared_ptr<engine::Browser> browser) {
  --browser_count_;
  if (delegate_) delegate_->BrowserClosed(browser);
}

void BrowserEventHandler::OnLoadingStateChange(std::shared_ptr<engine::Browser> browser, bool is_loading,
                                               bool can_go_back, bool can_go_forward) {
  ++load_serial_;
  document_made_ = false;
  if (is_loading) WatchForStalledLoad(browser);
  if (page_state_) page_state_->LoadingStateChanged(is_loading, can_go_back, can_go_forward);
}

namespace {
// Far longer than the service takes to answer; a page that waits for a
// slow resource has made its document long before.
std::chrono::milliseconds g_stalled_load_wait{30000};
}  // namespace

void SetStalledLoadWaitForTesting(std::chrono::milliseconds wait) { g_stalled_load_wait = wait; }

void BrowserEventHandler::WatchForStalledLoad(std::shared_ptr<engine::Browser> browser) {
  if (!page_state_ || !browser || start_url_.empty()) return;
  std::weak_ptr<engine::Browser> weak = browser;
  QTimer::singleShot(g_stalled_load_wait, [self = weak_from_this(), weak, serial = load_serial_] {
    auto handler = self.lock();
    auto alive = weak.lock();
    if (!handler || !alive || handler->load_serial_ != serial || handler->document_made_) return;
    if (!env::IsServicePage(alive->GetMainFrame()->GetURL(), handler->start_url_)) return;
    env::WriteProgramLog("the page made no document in " + std::to_string(g_stalled_load_wait.count() / 1000) +
                         " s of loading: recovered as after its renderer ended");
    handler->RecoverServicePage(alive);
  });
}

void BrowserEventHandler::OnLoadEnd(std::shared_ptr<engine::Browser>, std::shared_ptr<engine::Frame>,
                                    int http_status_code) {
  if (recovery_.OnLoadEnd(http_status_code == 200)) {
    env::WriteProgramLog("the page is back after its renderer ended");
    if (page_state_) page_state_->PageAvailabilityChanged(true);
  }
  env::StartupMark("first page loaded");
  if (main_window_) main_window_->Post(platform::WindowMessage{WM_COMMAND, CMD_PAGE_LOADED, 0});
}

namespace {

constexpr int VK_DELETE = 0x2E, VK_F5 = 0x74, VK_F11 = 0x7A, VK_F12 = 0x7B;
constexpr uint32_t kCtrlShift = engine::EVENTFLAG_SHIFT_DOWN | engine::EVENTFLAG_CONTROL_DOWN;
// The keys held with a shortcut. Caps Lock, Num Lock, the keypad and which
// Shift is pressed are not: with Num Lock on, as on most desktops, the
// shortcuts still work.
constexpr uint32_t kHeldKeys = engine::EVENTFLAG_SHIFT_DOWN | engine::EVENTFLAG_CONTROL_DOWN |
                               engine::EVENTFLAG_ALT_DOWN | engine::EVENTFLAG_COMMAND_DOWN;
constexpr char kDialogCaption[] = "提示";

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}


QWidget* OwnerOf(const std::shared_ptr<engine::Browser>& browser) {
  return browser ? browser->GetHost()->GetWindowHandle() : nullptr;
}

}  // namespace

void BrowserEventHandler::OnLoadError(std::shared_ptr<engine::Browser> browser, std::shared_ptr<engine::Frame> frame,
                                      int error_code, const std::string&, const std::string& failed_url) {
  if (error_code == engine::ERR_ABORTED || !frame) return;
  if (error_code == engine::ERR_UNKNOWN_URL_SCHEME &&
      (StartsWith(frame->GetURL(), "spotify:") || StartsWith(failed_url, "tencent:")))
    return;
  env::WriteProgramLog("load error code:" + std::to_string(error_code));
  const bool full = browser && browser->GetIdentifier() != 0 && frame->IsMain();
  frame->LoadString(full ? FullLoadFailurePage(start_url_) : ShortLoadFailurePage(), failed_url);
  // What asks for a sign-in next is the user's retry.
  if (full) env::AskSignInAgain();
}

void BrowserEventHandler::OnProtocolExecution(std::shared_ptr<engine::Browser> browser, const std::string& url,
                                              bool main_frame, bool& allow_os_execution) {
  if (!StartsWith(url, "spotify:")) return;
  // The service's page itself, or a click of the user's (a frame of another
  // origin moves the page only with one): never a frame on its own.
  if (main_frame && browser && env::IsServicePage(browser->GetMainFrame()->GetURL(), start_url_)) {
    allow_os_execution = true;
    return;
  }
  env::WriteProgramLog("external link refused: not from the service's page");
}

bool BrowserEventHandler::MayOpenWindow(bool user_gesture, const std::string& opener_origin) const {
  // Told once a time the limit is reached, not once a refused window.
  static bool limit_told = false;  // UI thread
  auto* registry = WindowRegistry::Get();
  if (registry && registry->window_count() >= kMostWindows) {
    env::WriteProgramLog("new window refused: " + std::to_string(kMostWindows) + " are open");
    if (!limit_told) {
      limit_told = true;
      // Not from inside the engine's callback: a modal box there would
      // hold the page that asked.
      QTimer::singleShot(0, [] {
        platform::ShowMessageBox(nullptr,
                                 "已打开 " + std::to_string(kMostWindows) +
                                     " 个窗口，达到上限，不能再打开新窗口。请先关闭用不到的窗口。",
                                 kDialogCaption, platform::MB_ICONINFORMATION);
      });
    }
    return false;
  }
  limit_told = false;
  if (user_gesture || env::IsServicePage(opener_origin, start_url_)) return true;
  env::WriteProgramLog("new window refused: asked without a click by " +
                       (opener_origin.empty() ? std::string("a frame that did not say") : env::PrintableForLog(opener_origin)));
  return false;
}

bool BrowserEventHandler::OnBeforePopup(std::shared_ptr<engine::Browser> browser, std::shared_ptr<engine::Frame>,
                                        const std::string&, const std::string& target_frame_name,
                                        engine::WindowOpenDisposition, bool user_gesture,
                                        const std::string& opener_origin, const engine::PopupFeatures& features,
                                        engine::WindowInfo& window_info, std::shared_ptr<engine::Client>& client,
                                        engine::BrowserSettings& settings) {
  if (!MayOpenWindow(user_gesture, opener_origin)) return true;
  // On the opener's monitor: the page's geometry is counted from its corner.
  const platform::Monitor monitor = platform::MonitorOf(
      browser && browser->GetHost() ? browser->GetHost()->GetWindowHandle() : nullptr);
  const platform::Monitor primary = platform::MonitorOf(nullptr);
  PopupPlacement placement = PlacePopup(target_frame_name, monitor.work_area);
  placement.bounds.x += monitor.area.x - primary.area.x;
  placement.bounds.y += monitor.area.y - primary.area.y;
  window_info.style = placement.style;
  window_info.x = placement.bounds.x;
  window_info.y = placement.bounds.y;
  window_info.width = placement.bounds.width;
  window_info.height = placement.bounds.height;
  // Page popups get no navigation controls.
  return !CreatePopupRootWindow(true, features, window_info, client, settings);
}

bool BrowserEventHandler::OnOpenURLFromTab(std::shared_ptr<engine::Browser>, std::shared_ptr<engine::Frame>,
                                           const std::string& url, engine::WindowOpenDisposition disposition,
                                           bool user_gesture, const std::string& opener_origin) {
  if (disposition != engine::WOD_NEW_FOREGROUND_TAB && disposition != engine::WOD_NEW_BACKGROUND_TAB) return false;
  if (!MayOpenWindow(user_gesture, opener_origin)) return true;
  if (auto* registry = WindowRegistry::Get()) registry->CreateRootWindow(true, offscreen_, platform::Rect{}, url);
  return true;
}

bool BrowserEventHandler::OnPreKeyEvent(std::shared_ptr<engine::Browser> browser, const engine::KeyEvent& event) {
  if (event.type != engine::KEYEVENT_RAWKEYDOWN || !browser) return false;
  const uint32_t held = event.modifiers & kHeldKeys;
  switch (event.windows_key_code) {
    case VK_F5:
      env::AskSignInAgain();
      browser->Reload();
      return true;
    case VK_F12:
      if (held != kCtrlShift) return false;
      OpenDevToolsWindow(browser);
      return true;
    case VK_DELETE:
      if (held == kCtrlShift) ClearCacheOnRequest(browser);
      return false;
    case VK_F11:
      env::SetFullScreen(2);
      return false;
    default:
      return false;
  }
}

void BrowserEventHandler::ClearCacheOnRequest(std::shared_ptr<engine::Browser> browser) {
  QWidget* owner = OwnerOf(browser);
  if (platform::ShowMessageBox(owner ? owner->window() : nullptr, "确定删除缓存吗？", kDialogCaption,
                               platform::MB_OKCANCEL) != platform::IDOK)
    return;
  platform::WritePrivateProfileString("Cache", "clearCache", "1", env::GetConfigFilePath());
  // The cookie and storage databases are open under the running engine:
  // they go at the next start (the flag); the HTTP cache goes now.
  browser->GetHost()->ClearHttpCache();
}

bool BrowserEventHandler::OnJSDialog(std::shared_ptr<engine::Browser> browser, const std::string&,
                                     engine::JSDialogType type, const std::u16string& message,
                                     const std::u16string&, std::shared_ptr<engine::JSDialogCallback> callback,
                                     bool& suppress_message) {
  switch (type) {
    case engine::JSDIALOGTYPE_ALERT:
      platform::ShowMessageBox(OwnerOf(browser), env::Utf16ToUtf8(message), kDialogCaption, platform::MB_ICONINFORMATION);
      suppress_message = true;
      return false;
    case engine::JSDIALOGTYPE_CONFIRM: {
      const int answer = platform::ShowMessageBox(OwnerOf(browser), env::Utf16ToUtf8(message), kDialogCaption,
                                                  platform::MB_ICONQUESTION | platform::MB_OKCANCEL);
      callback->Continue(answer == platform::IDOK, std::u16string());
      return true;
    }
    default:
      return false;
  }
}

void BrowserEventHandler::OnBeforeResourceLoad(std::shared_ptr<engine::Browser>, engine::Request& request) {
  AddProductHeaders(request);
}

bool BrowserEventHandler::GetAuthCredentials(std::shared_ptr<engine::Browser>, const engine::AuthChallenge& challenge,
                                             std::shared_ptr<engine::AuthCallback> callback) {
  // Any other site asking would be a stranger's password form in the
  // client's own dialog.
  if (!challenge.is_proxy && !env::IsServicePage(challenge.request_url, start_url_)) {
    env::WriteProgramLog("sign-in refused: not the service's: " + env::PrintableForLog(challenge.request_url));
    return false;
  }
  const env::SignInPlace place{challenge.is_proxy, challenge.host, challenge.realm};
  const auto credentials = env::CredentialsFor(
      place, challenge.retry ? std::optional<env::Credentials>({challenge.refused_user, challenge.refused_password})
                             : std::nullopt);
  if (!credentials) return false;
  callback->Continue(credentials->user, credentials->password.Reveal());
  return true;
}

bool BrowserEventHandler::OnCertificateError(std::shared_ptr<engine::Browser> browser, int cert_error,
                                             const std::string& request_url, const engine::SslInfo& ssl_info) {
  // The page shows it; support reads it here.
  env::WriteProgramLog("certificate refused: " + env::AddressForLog(request_url) + " " +
                       engine::NetErrorName(cert_error) + " (" + std::to_string(cert_error) + ")");
  CertificateDetails details;
  details.cert_status = ssl_info.cert_status;
  details.subject = ssl_info.subject;
  details.issuer = ssl_info.issuer;
  details.serial_number = ssl_info.serial_number;
  details.valid_start = static_cast<time_t>(ssl_info.valid_start);
  details.valid_expiry = static_cast<time_t>(ssl_info.valid_expiry);
  details.der = ssl_info.der;
  details.pem = ssl_info.pem;
  details.issuer_chain_der = ssl_info.issuer_chain_der;
  details.issuer_chain_pem = ssl_info.issuer_chain_pem;
  if (browser) LoadEngineErrorPage(browser->GetMainFrame(), request_url, cert_error, CertificateTable(details));
  return false;
}

void BrowserEventHandler::LoadEngineErrorPage(std::shared_ptr<engine::Frame> frame, const std::string& failed_url,
                                              int error_code, const std::string& other_info) {
  frame->LoadURL(MakeDataUri(EngineErrorPage(failed_url, error_code, other_info), "text/html"));
}

void BrowserEventHandler::OnRenderProcessTerminated(std::shared_ptr<engine::Browser> browser,
                                                    engine::TerminationStatus status) {
  if (!browser || start_url_.empty() || start_url_ == "chrome://crash") return;
  auto frame = browser->GetMainFrame();
  const std::string url = frame->GetURL();
  if (url.empty()) return;
  if (!StartsWith(Lower(url), Lower(start_url_))) {
    frame->LoadURL(start_url_);
    return;
  }
  env::WriteProgramLog("page renderer ended (" + std::to_string(static_cast<int>(status)) + ")");
  RecoverServicePage(browser);
}

void BrowserEventHandler::RecoverServicePage(std::shared_ptr<engine::Browser> browser) {
  // The service page itself: once left dead, and every later call lost.
  // The failure page and its retry now, the page again after a wait that
  // grows while it keeps ending; calls wait for it meanwhile.
  browser->GetMainFrame()->LoadString(FullLoadFailurePage(start_url_), start_url_);
  if (page_state_) page_state_->PageAvailabilityChanged(false);
  std::weak_ptr<engine::Browser> weak = browser;
  const auto wait = recovery_.OnRendererEnded(PageRecovery::Clock::now(), [weak, start_url = start_url_] {
    if (auto alive = weak.lock()) {
      env::WriteProgramLog("page loaded again after its renderer ended");
      alive->GetMainFrame()->LoadURL(start_url);
    }
  });
  env::WriteProgramLog("page reload in " + std::to_string(wait.count() / 1000) + " s");
}

void BrowserEventHandler::OnBeforeContextMenu(std::shared_ptr<engine::Browser>, engine::ContextMenuModel& model) {
  model.Clear();
}

bool BrowserEventHandler::OnDragEnter(std::shared_ptr<engine::Browser>, const engine::DragData& data, uint32_t) {
  // The engine offers "link" for selected text too: what is refused is a
  // drag that carries an address or an image, never text or files.
  return data.is_link;
}

bool BrowserEventHandler::OnRequestGeolocationPermission(std::shared_ptr<engine::Browser>, const std::string&) {
  return true;
}

bool BrowserEventHandler::OnRequestNotificationPermission(std::shared_ptr<engine::Browser>,
                                                          const std::string& origin) {
  return env::IsServicePage(origin, env::StartUrl());
}

bool BrowserEventHandler::OnQuotaRequest(std::shared_ptr<engine::Browser>, const std::string&, int64_t new_size) {
  return new_size <= kMaxQuotaBytes;
}

bool BrowserEventHandler::OnProcessMessageReceived(std::shared_ptr<engine::Browser>, engine::ProcessId,
                                                   const engine::ProcessMessage& message) {
  if (message.name == "ClientRenderer.MainDocumentCreated") {
    document_made_ = true;
    if (page_state_ && message.string_arguments.size() == 1)
      page_state_->MainDocumentCreated(message.string_arguments[0]);
    return true;
  }
  // Accepted; nothing in the browser depends on the focused node.
  return message.name == "ClientRenderer.FocusedNodeChanged";
}

void BrowserEventHandler::OnBeforeDownload(std::shared_ptr<engine::Browser>, const engine::DownloadItem& item,
                                           const std::string& suggested_name,
                                           std::shared_ptr<engine::BeforeDownloadCallback> callback) {
  downloads_.OnBeforeDownload(item, suggested_name, *callback);
}

void BrowserEventHandler::OnDownloadUpdated(std::shared_ptr<engine::Browser>, const engine::DownloadItem& item,
                                            std::shared_ptr<engine::DownloadItemCallback> callback) {
  downloads_.OnDownloadUpdated(item, *callback);
}

void BrowserEventHandler::OpenDevToolsWindow(std::shared_ptr<engine::Browser> browser) {
  engine::WindowInfo window_info;
  window_info.style = WS_OVERLAPPEDWINDOW_CLIPCHILDREN;
  std::shared_ptr<engine::Client> client;
  engine::BrowserSettings settings;
  if (CreatePopupRootWindow(true, engine::PopupFeatures{}, window_info, client, settings))
    browser->GetHost()->ShowDevTools(window_info, client, settings);
}

bool BrowserEventHandler::CreatePopupRootWindow(bool is_devtools, const engine::PopupFeatures& features,
                                                engine::WindowInfo& window_info,
                                                std::shared_ptr<engine::Client>& client,
                                                engine::BrowserSettings& settings) {
  auto* registry = WindowRegistry::Get();
  if (!registry) return false;
  registry->CreateRootWindowAsPopup(!is_devtools, offscreen_, features, window_info, client, settings);
  return true;
}

void BrowserEventHandler::OnAddressChange(std::shared_ptr<engine::Browser>, std::shared_ptr<engine::Frame> frame,
                                          const std::string& url) {
  if (page_state_ && frame && frame->IsMain()) page_state_->AddressChanged(url);
}

void BrowserEventHandler::OnFullscreenModeChange(std::shared_ptr<engine::Browser>, bool fullscreen) {
  if (page_state_) page_state_->FullscreenChanged(fullscreen);
}

bool BrowserEventHandler::OnConsoleMessage(std::shared_ptr<engine::Browser>, const std::u16string& message,
                                           const std::string&, int) {
  env::WritePageLog(message);
  return false;
}

void PresentNotification(const engine::Notification& notification) {
  // Readable as the user wrote it, but one line that a page cannot break.
  std::u16string line = u"notification: " + notification.title + u": " + notification.message;
  if (line.size() > kMaxNotificationLogUnits) line.resize(kMaxNotificationLogUnits);
  for (char16_t& unit : line)
    if (unit < 0x20 || unit == 0x7F || unit == 0x2028 || unit == 0x2029) unit = u' ';
  platform::ShowDesktopNotification(
      env::Utf16ToUtf8(notification.title), env::Utf16ToUtf8(notification.message),
      [] {
        if (const auto main_window = env::FindMainWindow()) main_window->SetForeground();
      },
      [line] { env::WriteProgramLog(line); });
}

}  // namespace browser
