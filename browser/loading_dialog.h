#ifndef BROWSER_LOADING_DIALOG_H_
#define BROWSER_LOADING_DIALOG_H_

#include <QDialog>

#include "platform/screen.h"

class QProgressBar;

namespace browser {

// "加载中，请稍候..." with a cycling bar, over the main window until its
// page has loaded.
class LoadingDialog : public QDialog {
  Q_OBJECT
 public:
  explicit LoadingDialog(QWidget* frame);

  // Centred horizontally over |frame|, its top at a third of the free height.
  static platform::Rect PlaceOver(const platform::Rect& frame, int width, int height);
  void PlaceOverFrame();
  int progress() const;

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  QProgressBar* bar_;
};

}  // namespace browser

#endif  // BROWSER_LOADING_DIALOG_H_
