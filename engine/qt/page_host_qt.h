#ifndef ENGINE_QT_PAGE_HOST_QT_H_
#define ENGINE_QT_PAGE_HOST_QT_H_

#include <QString>
#include <QUrl>
#include <memory>

#include "engine/engine.h"

class QWidget;

namespace engine {

// The browser as its page and view see it: the client to tell, the page's
// bridge calls, where the page's own dialogs go. The browser implements
// it; the page and view know nothing more of the browser.
class QtPageHost : public Browser {
 public:
  virtual Client* client() const = 0;
  virtual std::shared_ptr<Client> client_ref() const = 0;
  // The parent of the dialogs the page opens itself.
  virtual QWidget* dialog_parent() const = 0;
  // A call of the page through the bridge, from a frame of |origin|; a
  // one-way call names its frame's origin in |one_way_origin|.
  virtual QString BridgeCall(const QUrl& origin, const QString& call, const QUrl& one_way_origin = QUrl()) = 0;
  // The origin of the frame that registered |token| for one-way calls.
  virtual QUrl OneWayOriginOf(const QString& token) const = 0;
  // Each step (redirects too) of the main frame's current navigation.
  virtual void NoteMainFrameNavigation(const QUrl& url) = 0;
  // The view's popup widgets (an open select list) shown and gone.
  virtual void PopupShown(QWidget* popup) = 0;
  virtual void PopupGone(QWidget* popup) = 0;
  // The client's window that shows a windowless browser; null otherwise.
  virtual QWidget* windowless_parent() const = 0;
  // The view's destructor has begun.
  virtual void OnViewDestroyed() = 0;
};

}  // namespace engine

#endif  // ENGINE_QT_PAGE_HOST_QT_H_
