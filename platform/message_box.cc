#include "platform/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <mutex>

namespace platform {

namespace {

std::mutex g_mutex;
MessageBoxAnswerer g_answerer;

int ShowOnUiThread(QWidget* owner, const MessageBoxRequest& request) {
  QMessageBox box(owner);
  box.setWindowTitle(QString::fromStdString(request.caption));
  // Page text is shown as it is, never as markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(request.text));
  switch (request.flags & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
  if ((request.flags & 0x0F) == MB_OKCANCEL) box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
  box.setDefaultButton(ok);
  box.exec();
  return box.clickedButton() == static_cast<QAbstractButton*>(ok) ? IDOK : IDCANCEL;
}

}  // namespace

int ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption, unsigned flags) {
  const MessageBoxRequest request{text, caption, flags};
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_answerer) return g_answerer(request);
  }
  if (!qApp) return IDCANCEL;
  if (QThread::currentThread() == qApp->thread()) return ShowOnUiThread(owner, request);
  int result = IDCANCEL;
  QMetaObject::invokeMethod(
      qApp, [&] { result = ShowOnUiThread(nullptr, request); }, Qt::BlockingQueuedConnection);
  return result;
}

void SetMessageBoxAnswererForTesting(MessageBoxAnswerer answerer) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_answerer = std::move(answerer);
}

}  // namespace platform
