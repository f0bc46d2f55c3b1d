#include "browser/root_window_win.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <utility>

#include "browser/download_notice.h"
#include "browser/message_handlers.h"
#include "browser/popup_geometry.h"
#include "browser/util_win.h"
#include "env/logs.h"
#include "env/product.h"
#include "env/service_origin.h"
#include "env/startup_timeline.h"
#include "env/system_integration.h"
#include "env/window_messages.h"
#include "platform/desktop_services.h"
#include "platform/message_box.h"
#include "platform/screen_reader.h"
#include "platform/system_language.h"

namespace browser {

namespace {

constexpr int kButtonWidthLogical = 72;
constexpr int kUrlBarHeightLogical = 24;
constexpr int kFontHeightLogical = 14;
constexpr int kMaxTypedUrlLength = 255;

int ButtonWidth() { return LogicalToDevice(kButtonWidthLogical, GetDeviceScaleFactor()); }
int UrlBarHeight() { return LogicalToDevice(kUrlBarHeightLogical, GetDeviceScaleFactor()); }

}  // namespace

// The frame window; it reaches its RootWindow through the pointer it keeps
// until it is destroyed, like a window's user data.
class RootFrame : public platform::TopLevelWindow {
 public:
  RootFrame(RootWindow* owner, QWidget* owner_window)
      : TopLevelWindow(env::MainWindowClassName(), owner_window), owner_(owner) {
    setAttribute(Qt::WA_DeleteOnClose);
  }
  ~RootFrame() override {
    if (RootWindow* owner = std::exchange(owner_, nullptr)) owner->OnNcDestroy();
  }

  intptr_t WindowProc(const platform::WindowMessage& message) override {
    return owner_ ? owner_->HandleMessage(message) : 0;
  }

  // Tells the owner once the window system first shows the frame.
  void WatchFirstExposure() {
    if (windowHandle() && !windowHandle()->isExposed()) windowHandle()->installEventFilter(this);
    else if (owner_) owner_->OnFirstExposed();
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (owner_ && !owner_->OnClose())
      event->ignore();
    else
      event->accept();
  }
  void resizeEvent(QResizeEvent* event) override {
    TopLevelWindow::resizeEvent(event);
    if (owner_) owner_->OnSize();
  }
  void moveEvent(QMoveEvent* event) override {
    TopLevelWindow::moveEvent(event);
    if (owner_) owner_->OnMove();
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed()) {
      watched->removeEventFilter(this);
      if (owner_) owner_->OnFirstExposed();
    }
    return TopLevelWindow::eventFilter(watched, event);
  }
  void changeEvent(QEvent* event) override {
    TopLevelWindow::changeEvent(event);
    if (owner_ && event->type() == QEvent::WindowStateChange) owner_->OnSize();
    // An activated frame hands the keyboard to its browser.
    if (owner_ && event->type() == QEvent::ActivationChange && isActiveWindow()) owner_->OnSetFocus();
  }

 private:
  RootWindow* owner_;
};

RootWindow::RootWindow() = default;

RootWindow::~RootWindow() {
  delete loading_dialog_.data();
  if (frame_) {
    frame_->hide();
    frame_->deleteLater();
  }
}

void RootWindow::Open(WindowRegistry* registry, bool with_controls, bool offscreen,
                      const platform::Rect& bounds, const engine::BrowserSettings& settings, const std::string& url) {
  registry_ = registry;
  with_controls_ = with_controls;
  offscreen_ = offscreen;
  start_rect_ = bounds;
  browser_host_ = CreateBrowserHost(url);
  if (engine::CurrentlyOnUiThread()) {
    CreateRootWindow(settings);
  } else {
    auto self = shared_from_this();
    engine::PostTask([self, settings] { self->CreateRootWindow(settings); });
  }
}

std::unique_ptr<BrowserHost> RootWindow::CreateBrowserHost(const std::string& url) {
  if (!offscreen_) return std::make_unique<WindowedBrowserHost>(this, url);
  return std::make_unique<OffscreenBrowserHost>(this, url, registry_->defaults().offscreen);
}

void RootWindow::OpenAsPopup(WindowRegistry* registry, bool with_controls, bool offscreen,
                             const engine::PopupFeatures&, engine::WindowInfo& window_info,
                             std::shared_ptr<engine::Client>& client, engine::BrowserSettings& settings) {
  registry_ = registry;
  with_controls_ = with_controls;
  offscreen_ = offscreen;
  is_popup_ = true;
  if (window_info.style) window_style_ = window_info.style;
  start_rect_ = {window_info.x, window_info.y, window_info.width, window_info.height};
  // No size asked for: the system's default, a usable part of the work area.
  if (start_rect_.width <= 0 || start_rect_.height <= 0) start_rect_ = PlacePopup("", platform::WorkArea()).bounds;
  browser_host_ = CreateBrowserHost(std::string());
  // The browser is made inside its own frame, which is shown only once the
  // browser exists (BrowserCreated).
  CreateFrame();
  browser_host_->GetPopupConfig(frame_, ClientRect(), window_info, client, settings);
}

void RootWindow::CreateRootWindow(const engine::BrowserSettings& settings) {
  CreateFrame();
  env::StartupMark("main frame made");
  // The browser comes before the frame is shown: a view added to a shown
  // window makes Qt re-create that native window, which then stays black
  // or loses its state under some window managers. A windowed view gets its
  // size once the frame is on screen, as it draws the whole window at every
  // size; an off-screen surface sized late has Qt map the frame again.
  view_waits_for_frame_ = !offscreen_;
  browser_host_->CreateBrowser(frame_, offscreen_ ? ClientRect() : platform::Rect{}, settings,
                               registry_->RequestContextFor(this));
  env::StartupMark("browser made");
  frame_->ShowWithCommand(platform::ShowCommand::kMaximized);
  frame_->WatchFirstExposure();
  loading_dialog_ = new LoadingDialog(frame_);
  loading_dialog_->PlaceOverFrame();
  loading_dialog_->show();
  env::StartupMark("main frame and loading dialog shown");
}

std::string RootWindow::FrameTitle() const {
  // FindMainWindow relies on no other window ever carrying this title.
  const std::string& main_title = env::MainWindowTitle();
  if (is_popup_ || with_controls_ || platform::FindLocalWindow(env::MainWindowClassName(), main_title))
    return env::PopupWindowTitle();
  return main_title;
}

void RootWindow::CreateFrame() {
  // Popups are owned by the main window: above it, and gone with it.
  QWidget* owner = nullptr;
  if (is_popup_) owner = platform::FindLocalWindow(env::MainWindowClassName(), env::MainWindowTitle());
  frame_ = new RootFrame(this, owner);
  if (window_style_ == WS_POPUP_BORDERLESS) frame_->setWindowFlag(Qt::FramelessWindowHint, true);
  const std::string title = FrameTitle();
  frame_->SetTitle(title);
  if (title == env::MainWindowTitle())
    main_calls_ = std::make_unique<MainWindowCalls>([this] { return GetBrowser(); }, [this] { return frame_.data(); });
  QPalette palette = frame_->palette();
  palette.setColor(QPalette::Window, QColor::fromRgba(registry_->defaults().offscreen.background_color));
  frame_->setPalette(palette);
  frame_->setAutoFillBackground(true);
  if (start_rect_.width > 0 && start_rect_.height > 0) {
    const int bar = with_controls_ ? UrlBarHeight() : 0;
    frame_->move(start_rect_.x, start_rect_.y);
    frame_->resize(start_rect_.width, start_rect_.height + bar);
  }
  browser_host_->SetMainWindowHandle(platform::HandleOf(frame_));
  if (with_controls_) CreateControls();
}

void RootWindow::CreateControls() {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(LogicalToDevice(kFontHeightLogical, GetDeviceScaleFactor()));
  const ControlTexts& texts = ControlTextsFor(platform::SystemDefaultLangId());

  menu_bar_ = new QMenuBar(frame_);
  QMenu* file = menu_bar_->addMenu(QString::fromUtf8(texts.file));
  QObject::connect(file->addAction(QString::fromUtf8(texts.find)), &QAction::triggered, frame_,
                   [this] { OnCommand(CMD_FIND, 0); });
  QObject::connect(file->addAction(QString::fromUtf8(texts.exit)), &QAction::triggered, frame_,
                   [this] { OnCommand(CMD_EXIT, 0); });
  QMenu* help = menu_bar_->addMenu(QString::fromUtf8(texts.help));
  QObject::connect(help->addAction(QString::fromUtf8(texts.about)), &QAction::triggered, frame_,
                   [this] { OnCommand(CMD_ABOUT, 0); });

  const struct {
    const char* text;
    uint32_t command;
    QPointer<QPushButton>* button;
  } buttons[] = {{texts.back, CMD_BACK, &back_button_},
                 {texts.forward, CMD_FORWARD, &forward_button_},
                 {texts.reload, CMD_RELOAD, &reload_button_},
                 {texts.stop, CMD_STOP, &stop_button_}};
  for (const auto& b : buttons) {
    auto* button = new QPushButton(QString::fromUtf8(b.text), frame_);
    button->setFont(font);
    button->setEnabled(false);
    const uint32_t command = b.command;
    QObject::connect(button, &QPushButton::clicked, frame_, [this, command] { OnCommand(command, 0); });
    *b.button = button;
  }
  edit_ = new QLineEdit(frame_);
  edit_->setFont(font);
  edit_->setEnabled(false);
  edit_->setMaxLength(kMaxTypedUrlLength);
  QObject::connect(edit_, &QLineEdit::returnPressed, frame_, [this] {
    if (auto browser = GetBrowser()) browser->GetMainFrame()->LoadURL(edit_->text().toStdString());
  });
}

platform::Rect RootWindow::ClientRect() const {
  if (!frame_) return {};
  int top = 0;
  if (with_controls_) top = (menu_bar_ ? menu_bar_->sizeHint().height() : 0) + UrlBarHeight();
  return {0, top, frame_->width(), std::max(0, frame_->height() - top)};
}

void RootWindow::Show(platform::ShowCommand command) {
  if (frame_) frame_->ShowWithCommand(command);
}

void RootWindow::Hide() {
  if (frame_) frame_->hide();
}

void RootWindow::SetBounds(int x, int y, int width, int height) {
  if (frame_) frame_->setGeometry(x, y, width, height);
}

void RootWindow::Close(bool force) {
  if (!frame_) return;
  if (force) {
    frame_->hide();
    frame_->deleteLater();
  } else {
    frame_->close();
  }
}

std::shared_ptr<engine::Browser> RootWindow::GetBrowser() const {
  return browser_host_ ? browser_host_->GetBrowser() : nullptr;
}

platform::TopLevelWindow* RootWindow::GetHandle() const { return frame_.data(); }

intptr_t RootWindow::HandleMessage(const platform::WindowMessage& message) {
  switch (message.message) {
    case WM_COMMAND:
      return OnCommand(static_cast<uint32_t>(message.wparam & 0xFFFF), message.lparam) ? 0 : 1;
    case MSG_FULL_SCREEN:
      env::SetFullScreen(static_cast<unsigned>(message.wparam));
      return 0;
    case MSG_INCOMING_CALL:
      // Only the main window's page takes calls.
      if (main_calls_) main_calls_->calls().Ring(static_cast<int>(message.lparam), message.wparam);
      return 0;
    default: {
      const MessageHandler* handler = FindMessageHandler(message.message);
      return handler ? (*handler)(*this, message) : 0;
    }
  }
}

bool RootWindow::OnCommand(uint32_t id, intptr_t lparam) {
  auto browser = GetBrowser();
  switch (id) {
    case CMD_DOWNLOAD_FINISHED:
      ShowDownloadCompleteNotice(frame_);
      return true;
    case CMD_PAGE_LOADED:
      delete loading_dialog_.data();
      return true;
    case CMD_CHANNEL_READY:
      if (browser) browser->GetMainFrame()->LoadURL(env::StartUrl());
      return true;
    case CMD_DOWNLOAD_FAILED:
      platform::ShowMessageBox(nullptr, "文件下载出错", "提示", platform::MB_OK);
      return true;
    case CMD_ABOUT:
      ShowAboutDialog(frame_);
      return true;
    case CMD_FIND:
      OpenFindDialog();
      return true;
    case CMD_EXIT:
      registry_->CloseAllWindows(false);
      return true;
    case CMD_BACK:
      if (browser) browser->GoBack();
      return true;
    case CMD_FORWARD:
      if (browser) browser->GoForward();
      return true;
    case CMD_RELOAD:
      if (browser) browser->Reload();
      return true;
    case CMD_STOP:
      if (browser) browser->StopLoad();
      return true;
    default: {
      const CommandHandler* handler = FindCommandHandler(id);
      if (handler) (*handler)(*this, lparam);
      return handler != nullptr;
    }
  }
}

void RootWindow::OpenFindDialog() {
  if (find_dialog_) {
    find_dialog_->activateWindow();
    return;
  }
  find_dialog_ = new FindDialog(frame_, [this](const FindEvent& event) {
    auto browser = GetBrowser();
    if (!browser) return;
    engine::BrowserControl* host = browser->GetHost();
    find_state_.Handle(event, {[host](const std::u16string& text, bool forward, bool match_case, bool find_next) {
                                 host->Find(0, text, forward, match_case, find_next);
                               },
                               [host](bool clear) { host->StopFinding(clear); }});
  });
  find_dialog_->setAttribute(Qt::WA_DeleteOnClose);
  find_dialog_->show();
}

void RootWindow::PageAvailabilityChanged(bool available) {
  if (main_calls_) main_calls_->calls().SetPageUp(available);
}

void RootWindow::MainDocumentCreated(const std::string& name) {
  if (main_calls_) main_calls_->calls().SetNewestDocument(name);
}

void RootWindow::BrowserCreated(std::shared_ptr<engine::Browser>) {
  if (!is_popup_ || !frame_) {
    OnSize();
    return;
  }
  const platform::Rect client = ClientRect();
  browser_host_->ShowPopup(client.x, client.y, client.width, client.height);
  Show(platform::ShowCommand::kNormal);
}

void RootWindow::BrowserHostDestroyed() {
  browser_host_.reset();
  if (frame_) Close(true);
  browser_destroyed_ = true;
  if (window_destroyed_) registry_->RootWindowDestroyed(this);
}

void RootWindow::AddressChanged(const std::string& url) {
  if (edit_) edit_->setText(QString::fromStdString(url));
}

void RootWindow::FullscreenChanged(bool fullscreen) {
  if (!browser_host_ || !frame_) return;
  // A toggle would shrink the maximised main window when the page asks for
  // more room: the frame is maximised, and put back as it was on leaving.
  if (fullscreen) {
    restore_after_fullscreen_ = !frame_->isMaximized();
    if (restore_after_fullscreen_) MaximizeToggle(browser_host_->GetWindowHandle());
  } else if (restore_after_fullscreen_) {
    restore_after_fullscreen_ = false;
    Restore(browser_host_->GetWindowHandle());
  }
}

void RootWindow::LoadingStateChanged(bool is_loading, bool can_go_back, bool can_go_forward) {
  if (main_calls_) main_calls_->calls().SetLoading(is_loading);
  if (!with_controls_ || !edit_) return;
  back_button_->setEnabled(can_go_back);
  forward_button_->setEnabled(can_go_forward);
  reload_button_->setEnabled(!is_loading);
  stop_button_->setEnabled(is_loading);
  edit_->setEnabled(true);
}

bool RootWindow::OnClose() {
  if (browser_host_ && browser_host_->GetBrowser() && !browser_host_->IsClosing()) {
    // The frame stays until the page has run its unload handlers.
    browser_host_->GetBrowser()->GetHost()->CloseBrowser(false);
    return false;
  }
  return true;
}

void RootWindow::OnSize() {
  if (!frame_ || !browser_host_) return;
  if (frame_->isMinimized()) {
    browser_host_->Hide();
    return;
  }
  browser_host_->Show();
  if (with_controls_ && menu_bar_) {
    const int menu_height = menu_bar_->sizeHint().height();
    menu_bar_->setGeometry(0, 0, frame_->width(), menu_height);
    const int button_width = ButtonWidth();
    const QPointer<QPushButton> buttons[] = {back_button_, forward_button_, reload_button_, stop_button_};
    for (int i = 0; i < 4; ++i) buttons[i]->setGeometry(i * button_width, menu_height, button_width, UrlBarHeight());
    edit_->setGeometry(4 * button_width, menu_height, std::max(0, frame_->width() - 4 * button_width),
                       UrlBarHeight());
  }
  const platform::Rect client = ClientRect();
  if (!view_waits_for_frame_) browser_host_->SetBounds(client.x, client.y, client.width, client.height);
  if (loading_dialog_) loading_dialog_->PlaceOverFrame();
}

void RootWindow::OnMove() {
  if (browser_host_) browser_host_->Moved();
}

void RootWindow::OnFirstExposed() {
  if (std::exchange(view_waits_for_frame_, false)) OnSize();
}

void RootWindow::OnSetFocus() {
  if (browser_host_) browser_host_->SetFocus(true);
}

void RootWindow::OnNcDestroy() {
  frame_ = nullptr;
  window_destroyed_ = true;
  if (browser_destroyed_) registry_->RootWindowDestroyed(this);
}

}  // namespace browser
