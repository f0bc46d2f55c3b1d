#include "browser/loading_dialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

#include "browser/util_win.h"

namespace browser {

namespace {

constexpr int kTimerPeriodMs = 100;

}  // namespace

LoadingDialog::LoadingDialog(QWidget* frame)
    : QDialog(frame, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  QFont font = this->font();
  font.setPointSize(8);
  setFont(font);
  const QFontMetrics metrics(font);
  resize(DialogUnitsToPixels(metrics, 0, 0, 204, 80).size());

  const QString waiting = QStringLiteral("加载中，请稍候...");
  // Without a title bar a screen reader names the dialog by this.
  setAccessibleName(waiting);
  auto* text = new QLabel(waiting, this);
  text->setObjectName(QStringLiteral("loadingText"));
  text->setAlignment(Qt::AlignCenter);
  text->setGeometry(DialogUnitsToPixels(metrics, 73, 46, 65, 8).adjusted(-20, 0, 20, 4));
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  bar_->setAccessibleName(QStringLiteral("加载进度"));
  bar_->setGeometry(DialogUnitsToPixels(metrics, 26, 21, 152, 14));
  startTimer(kTimerPeriodMs);
}

platform::Rect LoadingDialog::PlaceOver(const platform::Rect& frame, int width, int height) {
  return platform::Rect{frame.x + (frame.width - width) / 2, frame.y + (frame.height - height) / 3, width, height};
}

void LoadingDialog::PlaceOverFrame() {
  if (!parentWidget()) return;
  const QWidget* frame = parentWidget();
  // A maximised frame is about to fill its screen's work area: going there
  // at once spares a move after the window manager has maximised it, which
  // repaints the whole frame while the page is still starting.
  const QRect f = frame->isMaximized() && frame->screen() ? frame->screen()->availableGeometry()
                                                          : frame->frameGeometry();
  const platform::Rect place = PlaceOver({f.x(), f.y(), f.width(), f.height()}, width(), height());
  move(place.x, place.y);
}

int LoadingDialog::progress() const { return bar_->value(); }

void LoadingDialog::timerEvent(QTimerEvent*) {
  const int position = bar_->value();
  bar_->setValue(position >= 100 ? 0 : position + 2);
}

}  // namespace browser
