#include "platform/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QtGlobal>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace platform {

namespace {

std::mutex g_mutex;  // the members below
MessageBoxAnswerer g_answerer;
std::condition_variable g_answered;
bool g_closed = false;

int ShowOnUiThread(QWidget* owner, const MessageBoxRequest& request) {
  // On the heap: its owner may go while the box is open, taking it along.
  QPointer<QMessageBox> box = new QMessageBox(owner);
  box->setWindowTitle(QString::fromStdString(request.caption));
  // Page text is shown as it is, never as markup.
  box->setTextFormat(Qt::PlainText);
  box->setText(QString::fromStdString(request.text));
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  // Orca reads this box's text from Qt 6.4 as the alert's label; from 6.8
  // it skips it (loose Chinese text has no spaced words) and reads the
  // description instead. Given on 6.4 too, it would be read twice.
  box->setAccessibleDescription(box->text());
#endif
  switch (request.flags & 0xF0) {
    case MB_ICONERROR: box->setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box->setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box->setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box->setIcon(QMessageBox::Information); break;
    default: break;
  }
  QPushButton* ok = box->addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
  if ((request.flags & 0x0F) == MB_OKCANCEL) box->addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
  box->setDefaultButton(ok);
  box->exec();
  if (!box) return IDCANCEL;
  const int answer = box->clickedButton() == static_cast<QAbstractButton*>(ok) ? IDOK : IDCANCEL;
  delete box.data();
  return answer;
}

}  // namespace

bool RunModalOnUiThread(std::function<void()> work) {
  if (!qApp) return false;
  if (QThread::currentThread() == qApp->thread()) {
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      if (g_closed) return false;
    }
    work();
    return true;
  }
  // Waits for the UI thread, or for the exit: a UI thread that has left its
  // loop and joins this thread must not wait on it in turn.
  auto done = std::make_shared<bool>(false);
  QMetaObject::invokeMethod(
      qApp,
      [done, work = std::move(work)] {
        {
          std::lock_guard<std::mutex> lock(g_mutex);
          if (g_closed) return;
        }
        work();
        std::lock_guard<std::mutex> lock(g_mutex);
        *done = true;
        g_answered.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(g_mutex);
  g_answered.wait(lock, [&] { return *done || g_closed; });
  return *done;
}

int ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption, unsigned flags) {
  const MessageBoxRequest request{text, caption, flags};
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_answerer) return g_answerer(request);
  }
  // Shared: a worker that gave up waiting leaves the box's answer behind.
  auto button = std::make_shared<int>(IDCANCEL);
  // Another thread's owner may be gone by the time the box comes up.
  QWidget* const parent = qApp && QThread::currentThread() == qApp->thread() ? owner : nullptr;
  if (!RunModalOnUiThread([button, parent, request] { *button = ShowOnUiThread(parent, request); })) return IDCANCEL;
  return *button;
}

void SetMessageBoxesClosed(bool closed) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_closed = closed;
  g_answered.notify_all();
}

void RejectOpenDialogs() {
  if (!qApp) return;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(widget);
    if (dialog && dialog->isVisible()) dialog->reject();
  }
}

void SetMessageBoxAnswererForTesting(MessageBoxAnswerer answerer) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_answerer = std::move(answerer);
}

}  // namespace platform
