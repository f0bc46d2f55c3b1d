#ifndef UPGRADE_UPGRADE_PROGRESS_DIALOG_H_
#define UPGRADE_UPGRADE_PROGRESS_DIALOG_H_

#include <QDialog>
#include <functional>

class QProgressBar;

namespace upgrade {

// The progress of the upgrade package's download: no caption, above every
// window, never taking the focus. "取消升级" or Esc cancels the download.
class UpgradeProgressDialog : public QDialog {
  Q_OBJECT
 public:
  // |cancel| stops the downloads under way.
  explicit UpgradeProgressDialog(std::function<void()> cancel);
  void SetPercent(int percent);
  int percent() const;
  // Cancels the download and closes for good.
  void reject() override;

 private:
  QProgressBar* bar_;
  std::function<void()> cancel_;
};

// At most one dialog in the process: made and shown (without activation),
// centred over |over| (the primary screen's work area without one), on the
// first report, moved by the later ones. The dialog made keeps |cancel|.
void ShowUpgradeProgress(int percent, const QWidget* over, const std::function<void()>& cancel);
// The dialog of the process, or null.
UpgradeProgressDialog* CurrentUpgradeProgressDialog();

}  // namespace upgrade

#endif  // UPGRADE_UPGRADE_PROGRESS_DIALOG_H_
