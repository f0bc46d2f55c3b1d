#include "platform/sign_in_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <map>
#include <memory>
#include <mutex>

#include "platform/message_box.h"
#include "platform/password_field.h"

namespace platform {

namespace {

// A realm is the server's to choose; this much of it is shown.
constexpr int kMaxRealmShown = 120;
// A name or password longer than this is no one's.
constexpr int kMaxFieldLength = 256;

std::mutex g_mutex;  // g_answerer
SignInAnswerer g_answerer;

// The open dialogs by place; UI thread only.
std::map<std::string, QPointer<QDialog>>& OpenDialogs() {
  static std::map<std::string, QPointer<QDialog>> dialogs;
  return dialogs;
}

QString Heading(const SignInRequest& request) {
  const QString host = QString::fromStdString(request.host);
  return request.proxy ? QStringLiteral("代理服务器 %1 要求输入用户名和密码。").arg(host)
                       : QStringLiteral("%1 要求输入用户名和密码。").arg(host);
}

// Return on the check box signs in, as it does in the fields. GNOME's
// theme makes Return press a focused button, which ticks the box again
// instead (QPlatformTheme::ButtonPressKeys).
class ReturnSignsIn : public QObject {
 public:
  explicit ReturnSignsIn(QDialog* dialog) : QObject(dialog), dialog_(dialog) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
      return QObject::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) dialog_->accept();
    return true;
  }

 private:
  QDialog* dialog_;
};

// Builds the dialog; its answer is read from its fields once accepted.
QDialog* MakeDialog(const SignInRequest& request) {
  // Owned by no window: the one active when it is asked for may be the
  // loading box, which goes moments later and would take the dialog with it.
  auto* dialog = new QDialog(nullptr);
  dialog->setWindowTitle(request.proxy ? QStringLiteral("代理服务器登录") : QStringLiteral("登录"));
  dialog->setWindowModality(Qt::ApplicationModal);
  auto* layout = new QVBoxLayout(dialog);
  auto* heading = new QLabel(dialog);
  // The host is the server's to name: shown as it is, never as markup.
  heading->setTextFormat(Qt::PlainText);
  heading->setText(Heading(request));
  heading->setWordWrap(true);
  layout->addWidget(heading);
  // What a screen reader reads of the dialog: it skips loose Chinese text.
  QString description = Heading(request);
  if (!request.realm.empty()) {
    auto* realm = new QLabel(dialog);
    realm->setTextFormat(Qt::PlainText);
    realm->setWordWrap(true);
    realm->setText(QStringLiteral("提示：") + QString::fromStdString(request.realm).left(kMaxRealmShown));
    layout->addWidget(realm);
  }
  if (request.refused) {
    auto* refused = new QLabel(QStringLiteral("用户名或密码不正确，请重新输入。"), dialog);
    refused->setObjectName(QStringLiteral("refused"));
    refused->setStyleSheet(QStringLiteral("color: #c00000;"));
    layout->addWidget(refused);
    description = refused->text() + description;
  }
  dialog->setAccessibleDescription(description);
  auto* form = new QFormLayout;
  auto* user = new QLineEdit(dialog);
  user->setObjectName(QStringLiteral("user"));
  user->setMaxLength(kMaxFieldLength);
  auto* password = new PasswordField(dialog);
  password->setObjectName(QStringLiteral("password"));
  password->setMaxLength(kMaxFieldLength);
  form->addRow(QStringLiteral("用户名："), user);
  form->addRow(QStringLiteral("密码："), password);
  layout->addLayout(form);
  auto* remember = new QCheckBox(QStringLiteral("记住密码"), dialog);
  remember->setObjectName(QStringLiteral("remember"));
  remember->installEventFilter(new ReturnSignsIn(dialog));
  layout->addWidget(remember);
  auto* buttons = new QDialogButtonBox(dialog);
  QPushButton* sign_in = buttons->addButton(QStringLiteral("登录"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
  sign_in->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(buttons);
  dialog->setMinimumWidth(dialog->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 32);
  user->setFocus();
  return dialog;
}

std::optional<SignInAnswer> AnswerOf(QDialog* dialog) {
  if (!dialog || dialog->result() != QDialog::Accepted) return std::nullopt;
  SignInAnswer answer;
  answer.user = dialog->findChild<QLineEdit*>(QStringLiteral("user"))->text().toStdString();
  answer.password = dialog->findChild<QLineEdit*>(QStringLiteral("password"))->text().toStdString();
  answer.remember = dialog->findChild<QCheckBox*>(QStringLiteral("remember"))->isChecked();
  return answer;
}

// UI thread: a place's open dialog is waited for, not doubled. Waits nest
// inside the dialog's own loop and end with it.
std::optional<SignInAnswer> AskOnUiThread(const SignInRequest& request) {
  auto& open = OpenDialogs();
  if (auto it = open.find(request.place); it != open.end() && it->second) {
    QPointer<QDialog> dialog = it->second;
    QEventLoop loop;
    QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    QObject::connect(dialog, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
    return AnswerOf(dialog);
  }
  QPointer<QDialog> dialog = MakeDialog(request);
  open[request.place] = dialog;
  dialog->exec();
  open.erase(request.place);
  if (!dialog) return std::nullopt;
  std::optional<SignInAnswer> answer = AnswerOf(dialog);
  dialog->deleteLater();
  return answer;
}

}  // namespace

std::optional<SignInAnswer> AskForSignIn(const SignInRequest& request) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_answerer) return g_answerer(request);
  }
  // Shared: a worker that gave up waiting leaves the answer behind.
  auto answer = std::make_shared<std::optional<SignInAnswer>>();
  if (!RunModalOnUiThread([answer, request] { *answer = AskOnUiThread(request); })) return std::nullopt;
  return *answer;
}

void SetSignInAnswererForTesting(SignInAnswerer answerer) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_answerer = std::move(answerer);
}

}  // namespace platform
