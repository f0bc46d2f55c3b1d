#ifndef ENGINE_QT_VIEW_QT_H_
#define ENGINE_QT_VIEW_QT_H_

#include <QWebEngineView>
#include <memory>

namespace engine {

class QtPageHost;

// The view of one browser: context menu, drags and keys go to the client.
class QtView : public QWebEngineView {
  Q_OBJECT
 public:
  QtView(QWidget* parent, std::weak_ptr<QtPageHost> browser);
  ~QtView() override;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void childEvent(QChildEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::weak_ptr<QtPageHost> browser_;
};

}  // namespace engine

#endif  // ENGINE_QT_VIEW_QT_H_
