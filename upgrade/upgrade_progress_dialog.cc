#include "upgrade/upgrade_progress_dialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include "browser/util_win.h"
#include "env/product.h"
#include "platform/screen.h"

namespace upgrade {

namespace {

QPointer<UpgradeProgressDialog>& TheDialog() {
  static QPointer<UpgradeProgressDialog> dialog;
  return dialog;
}

}  // namespace

UpgradeProgressDialog::UpgradeProgressDialog(std::function<void()> cancel)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), cancel_(std::move(cancel)) {
  // A pop-up without a caption: no title bar at all, a thin border instead.
  setObjectName(QStringLiteral("upgradeProgress"));
  setStyleSheet(QStringLiteral("QDialog#upgradeProgress { border: 1px solid palette(dark); }"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  // No title bar shows it; the task bar and window lists do.
  setWindowTitle(QString::fromUtf8(env::PRODUCT_NAME));
  QFont font = this->font();
  font.setPointSize(8);
  setFont(font);
  const QFontMetrics metrics(font);
  setFixedSize(browser::DialogUnitsToPixels(metrics, 0, 0, 293, 95).size());
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  bar_->setAccessibleName(QStringLiteral("升级包下载进度"));
  bar_->setGeometry(browser::DialogUnitsToPixels(metrics, 18, 24, 258, 13));
  auto* text = new QLabel(QStringLiteral("升级包正在下载，即将升级软件，请稍等..."), this);
  text->setAlignment(Qt::AlignCenter);
  // Named for what it downloads: a screen reader says more than a percentage.
  setAccessibleName(QStringLiteral("软件升级"));
  setAccessibleDescription(text->text());
  bar_->setAccessibleDescription(text->text());
  text->setGeometry(browser::DialogUnitsToPixels(metrics, 0, 53, 292, 8).adjusted(0, 0, 0, 4));
  auto* cancel_button = new QPushButton(QStringLiteral("取消升级"), this);
  cancel_button->setDefault(true);
  cancel_button->setGeometry(browser::DialogUnitsToPixels(metrics, 235, 74, 55, 14).adjusted(-10, 0, 0, 4));
  connect(cancel_button, &QPushButton::clicked, this, &UpgradeProgressDialog::reject);
}

void UpgradeProgressDialog::SetPercent(int percent) { bar_->setValue(percent); }

int UpgradeProgressDialog::percent() const { return bar_->value(); }

void UpgradeProgressDialog::reject() {
  // The upgrades under way stop at their next report; a later upgrade
  // makes a new dialog.
  if (cancel_) cancel_();
  if (TheDialog() == this) TheDialog() = nullptr;
  hide();
  deleteLater();
}

void ShowUpgradeProgress(int percent, const QWidget* over, const std::function<void()>& cancel) {
  QPointer<UpgradeProgressDialog>& dialog = TheDialog();
  if (!dialog) dialog = new UpgradeProgressDialog(cancel);
  dialog->SetPercent(percent);
  if (dialog->isVisible()) return;
  // Placed every time: a window manager leaves an unowned window where the
  // last one of its kind was, or at the corner.
  const platform::Rect work = platform::WorkArea();
  const QRect area = over ? over->frameGeometry() : QRect(work.x, work.y, work.width, work.height);
  dialog->move(area.center() - dialog->rect().center());
  dialog->show();
}

UpgradeProgressDialog* CurrentUpgradeProgressDialog() { return TheDialog(); }

}  // namespace upgrade
