#ifndef UPGRADE_UPGRADE_PROGRESS_DIALOG_H_
#define UPGRADE_UPGRADE_PROGRESS_DIALOG_H_

#include <QDialog>

class QProgressBar;

namespace upgrade {

// The progress of the upgrade package's download: no caption, above every
// window, never taking the focus. "取消升级" or Esc cancels the download.
class UpgradeProgressDialog : public QDialog {
  Q_OBJECT
 public:
  UpgradeProgressDialog();
  void SetPercent(int percent);
  int percent() const;
  // Cancels the download and closes for good.
  void reject() override;

 private:
  QProgressBar* bar_;
};

// At most one dialog in the process: made and shown (without activation),
// centred over |over| (the primary screen's work area without one), on the
// first report, moved by the later ones.
void ShowUpgradeProgress(int percent, const QWidget* over);
// The dialog of the process, or null.
UpgradeProgressDialog* CurrentUpgradeProgressDialog();

}  // namespace upgrade

#endif  // UPGRADE_UPGRADE_PROGRESS_DIALOG_H_
