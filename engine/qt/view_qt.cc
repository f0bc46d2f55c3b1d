// The browser's view: its context menu, drags, and the filter that
// shows the client the keys and pointer of the render widget.
#include <QChildEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

#include "engine/qt/page_host_qt.h"
#include "engine/qt/view_qt.h"
#include "engine/qt/input_mapping.h"

namespace engine {

namespace {

class QtContextMenuModel : public ContextMenuModel {
 public:
  explicit QtContextMenuModel(QMenu* menu) : menu_(menu) {}
  bool Clear() override {
    menu_->clear();
    return true;
  }
  size_t GetCount() const override { return static_cast<size_t>(menu_->actions().size()); }

 private:
  QMenu* menu_;
};
}  // namespace

QtView::QtView(QWidget* parent, std::weak_ptr<QtPageHost> browser) : QWebEngineView(parent), browser_(std::move(browser)) {
  // A drop site needs a native window: a windowless view (no parent) would
  // get one, shown on screen. Nothing is dropped into a windowless browser.
  if (parent) setAcceptDrops(true);
}

QtView::~QtView() {
  if (auto browser = browser_.lock()) browser->OnViewDestroyed();
}

void QtView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu();
  QtContextMenuModel model(menu);
  if (auto browser = browser_.lock()) browser->client()->OnBeforeContextMenu(browser, model);
  if (model.GetCount() == 0) {
    delete menu;
    return;
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void QtView::dragEnterEvent(QDragEnterEvent* event) {
  uint32_t allowed = DRAG_OPERATION_NONE;
  if (event->possibleActions() & Qt::CopyAction) allowed |= DRAG_OPERATION_COPY;
  if (event->possibleActions() & Qt::LinkAction) allowed |= DRAG_OPERATION_LINK;
  if (event->possibleActions() & Qt::MoveAction) allowed |= DRAG_OPERATION_MOVE;
  DragData data;
  const QMimeData* mime = event->mimeData();
  for (const QUrl& url : mime->urls()) (url.isLocalFile() ? data.is_file : data.is_link) = true;
  // A dragged image is its address too.
  data.is_link = data.is_link || mime->hasImage();
  data.is_fragment = mime->hasText() || mime->hasHtml();
  auto browser = browser_.lock();
  if (browser && browser->client()->OnDragEnter(browser, data, allowed)) {
    event->ignore();
    return;
  }
  QWebEngineView::dragEnterEvent(event);
}

void QtView::childEvent(QChildEvent* event) {
  // Keys go to the render widget the engine adds as a child.
  if (event->added() && event->child()->isWidgetType()) event->child()->installEventFilter(this);
  QWebEngineView::childEvent(event);
}

bool QtView::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::KeyPress || type == QEvent::KeyRelease || type == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    auto browser = browser_.lock();
    if (browser && type != QEvent::ShortcutOverride) {
      const KeyEvent engine_event =
          KeyEventFromQt(*key, type == QEvent::KeyPress ? KEYEVENT_RAWKEYDOWN : KEYEVENT_KEYUP);
      if (browser->client()->OnPreKeyEvent(browser, engine_event)) return true;
    }
  }
  // A windowless view's popup (an open select list) lives past the screens
  // too; its frames and input go through the client's window.
  if ((type == QEvent::Show || type == QEvent::Hide) && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    auto browser = browser_.lock();
    if (browser && widget->isWindow() && (widget->windowFlags() & Qt::Popup)) {
      if (type == QEvent::Show)
        browser->PopupShown(widget);
      else
        browser->PopupGone(widget);
    }
  }
  // A windowless page's pointer shape shows on the window standing in for it.
  if (type == QEvent::CursorChange && watched->isWidgetType()) {
    auto browser = browser_.lock();
    if (QWidget* stand_in = browser ? browser->windowless_parent() : nullptr)
      stand_in->setCursor(static_cast<QWidget*>(watched)->cursor());
  }
  return QWebEngineView::eventFilter(watched, event);
}
}  // namespace engine
