#ifndef ENGINE_QT_BROWSER_QT_H_
#define ENGINE_QT_BROWSER_QT_H_

#include <QPointer>
#include <QWebEnginePage>
#include <memory>

#include "engine/engine.h"
#include "engine/qt/offscreen_frames.h"
#include "engine/qt/page_bridge.h"
#include "engine/qt/page_host_qt.h"
#include "engine/qt/page_qt.h"
#include "engine/qt/popup_names_qt.h"
#include "engine/qt/request_interceptor_qt.h"
#include "engine/qt/view_qt.h"
#include "engine/qt/windowless_input_qt.h"

class QWebEngineProfile;
class QWebEngineNewWindowRequest;
class QWebEngineCertificateError;

namespace engine {

// One browser: a view placed in the parent window. Kept alive by the
// engine's live-browser table until OnBeforeClose has been delivered.
class QtBrowser : public QtPageHost, public BrowserControl, public std::enable_shared_from_this<QtBrowser> {
 public:
  QtBrowser(int id, std::shared_ptr<Client> client);

  // Creates the view and page; |url| empty loads nothing.
  void Create(const WindowInfo& info, QWebEngineProfile* profile, Color background, const std::string& url);
  QWebEnginePage* page() const;
  QtView* view() const { return view_.data(); }
  QtOffscreenFrames* offscreen_frames() const { return frames_.data(); }

  // Shows |html| in the main frame in place of |url|, which a reload then
  // loads again.
  void LoadString(const QString& html, const QUrl& url);

  // The names the page gave the windows it is opening.
  QtPopupNames& popup_names() { return popup_names_; }

  BridgeCallParts& call_parts() { return call_parts_; }
  OneWayOrigins& one_way_origins() { return one_way_origins_; }

  // The id the client sees for the next query of any frame.
  int64_t NextQueryId() { return ++last_query_id_; }

  // QtPageHost
  Client* client() const override { return client_.get(); }
  std::shared_ptr<Client> client_ref() const override { return client_; }
  QWidget* dialog_parent() const override { return view_.data(); }
  QString BridgeCall(const QUrl& origin, const QString& call, const QUrl& one_way_origin = QUrl()) override {
    return HandleBridgeCall(shared_from_this(), origin, call, one_way_origin);
  }
  QUrl OneWayOriginOf(const QString& token) const override { return one_way_origins_.OriginOf(token); }
  void NoteMainFrameNavigation(const QUrl& url) override { main_frame_navigation_ = url; }
  void PopupShown(QWidget* popup) override {
    if (frames_) frames_->PopupShown(popup);
  }
  void PopupGone(QWidget* popup) override {
    if (frames_) frames_->PopupGone(popup);
  }
  QWidget* windowless_parent() const override { return windowless_parent_.data(); }
  void OnViewDestroyed() override;

  // Browser
  int GetIdentifier() const override { return id_; }
  std::shared_ptr<Frame> GetMainFrame() override;
  BrowserControl* GetHost() override { return this; }
  bool CanGoBack() const override;
  bool CanGoForward() const override;
  void GoBack() override;
  void GoForward() override;
  void Reload() override;
  void StopLoad() override;

  // BrowserControl
  void CloseBrowser(bool force) override;
  void SetFocus(bool focus) override;
  QWidget* GetWindowHandle() const override {
    return windowless_parent_ ? windowless_parent_.data() : static_cast<QWidget*>(view_.data());
  }
  void Find(int identifier, const std::u16string& text, bool forward, bool match_case, bool find_next) override;
  void StopFinding(bool clear_selection) override;
  void ClearHttpCache() override;
  // The page asked to print: the print dialog, then the printer.
  void Print();
  // A press on a draggable region of the page: the window follows the
  // pointer, moved by the window manager.
  void StartWindowMove();
  void ShowDevTools(const WindowInfo& window_info, std::shared_ptr<Client> client,
                    const BrowserSettings& settings) override;
  // A windowless browser's frames and input; a windowed one has neither.
  void WasResized() override {
    if (frames_) frames_->Resize();
  }
  void NotifyMoveOrResizeStarted() override {
    if (frames_) frames_->Place();
  }
  void WasHidden(bool hidden) override {
    if (frames_) frames_->SetHidden(hidden);
  }
  void Invalidate(PaintElementType type) override;
  void SendFocusEvent(bool focus) override {
    if (input_) input_->Focus(focus);
  }
  void SendKeyEvent(const KeyEvent& event) override {
    if (input_) input_->Key(event);
  }
  void ImeSetComposition(const std::u16string& text, int caret) override {
    if (input_) input_->SetComposition(text, caret);
  }
  void ImeCommitText(const std::u16string& text) override {
    if (input_) input_->CommitText(text);
  }
  void ImeCancelComposition() override {
    if (input_) input_->CancelComposition();
  }
  PaintRect ImeCaretBounds() override { return input_ ? input_->CaretBounds() : PaintRect{}; }
  void SendMouseClickEvent(const MouseEvent& event, MouseButtonType button, bool mouse_up, int click_count) override {
    if (input_) input_->MouseClick(event, button, mouse_up, click_count);
  }
  void SendMouseMoveEvent(const MouseEvent& event, bool mouse_leave) override {
    if (input_) input_->MouseMove(event, mouse_leave);
  }
  void SendMouseWheelEvent(const MouseEvent& event, int delta_x, int delta_y) override {
    if (input_) input_->MouseWheel(event, delta_x, delta_y);
  }

 private:
  void ConnectSignals(QWebEnginePage* page);
  void OnCloseRequested();
  void OnNewWindowRequested(QWebEngineNewWindowRequest& request);
  void OnCertificateError(const QWebEngineCertificateError& error);

  const int id_;
  std::shared_ptr<Client> client_;
  QPointer<QtView> view_;
  // Windowless: the client's window standing in for the view, and the
  // reader of the hidden view's frames.
  QPointer<QWidget> windowless_parent_;
  QPointer<QtOffscreenFrames> frames_;
  std::unique_ptr<QtWindowlessInput> input_;
  bool printing_ = false;
  std::unique_ptr<QtRequestInterceptor> interceptor_;
  QtPopupNames popup_names_;

  BridgeCallParts call_parts_;
  OneWayOrigins one_way_origins_;
  int64_t last_query_id_ = 0;
  QUrl rejected_certificate_url_;
  QUrl main_frame_navigation_;
  QUrl string_page_url_;
  bool closing_ = false;
};

// Opens the new-tab request the client is answering in |page| when it is
// for |url|; false when there is none.
bool AdoptNewWindowPage(QWebEnginePage* page, const QUrl& url);

// Creates a browser for |client| in |info.parent| on |profile|, loading
// |url|; OnAfterCreated follows from the loop.
std::shared_ptr<QtBrowser> CreateQtBrowser(const WindowInfo& info, std::shared_ptr<Client> client,
                                           QWebEngineProfile* profile, const std::string& url);
// Drops the engine's reference to a browser whose close was delivered.
void ReleaseBrowser(int id);

}  // namespace engine

#endif  // ENGINE_QT_BROWSER_QT_H_
