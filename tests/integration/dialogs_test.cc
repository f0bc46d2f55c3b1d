// The client's own dialogs with the keyboard alone, in the real widgets.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <vector>

#include "browser/download_notice.h"
#include "browser/find_dialog.h"
#include "browser/loading_dialog.h"
#include "platform/sign_in_dialog.h"
#include "test_helpers.h"
#include "upgrade/upgrade_progress_dialog.h"

namespace {

using browser::FindDialog;
using browser::FindEvent;

// Every way out of the find dialog ends the search once: Escape (which
// never reaches a close event), Cancel, and the title bar's close.
TEST(FindDialog, EveryWayOutEndsTheSearchOnce) {
  const std::vector<std::function<void(FindDialog&)>> ways = {
      [](FindDialog& dialog) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(dialog.focusWidget() ? dialog.focusWidget() : &dialog, &escape);
      },
      [](FindDialog& dialog) {
        for (auto* button : dialog.findChildren<QPushButton*>())
          if (button->text() == QStringLiteral("取消") || button->text() == QStringLiteral("Cancel")) button->click();
      },
      [](FindDialog& dialog) { dialog.close(); },
  };
  for (size_t way = 0; way < ways.size(); ++way) {
    SCOPED_TRACE(way);
    int closed = 0;
    int searches = 0;
    FindDialog dialog(nullptr, [&](const FindEvent& event) { event.dialog_closed ? ++closed : ++searches; });
    dialog.show();
    // The focus starts in the field: typing searches at once.
    ASSERT_TRUE(WaitFor([&] { return dialog.isVisible() && dialog.focusWidget(); }));
    EXPECT_TRUE(qobject_cast<QLineEdit*>(dialog.focusWidget()));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dialog.focusWidget(), &enter);
    EXPECT_EQ(searches, 1) << "Enter is the default button's";
    ways[way](dialog);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(closed, 1);
  }
}

QString AccessibleName(QWidget* widget) {
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
  return accessible ? accessible->text(QAccessible::Name) : QString();
}

// What a screen reader says of |dialog| and each of its buttons, fields
// and bars, one a line; a control without a name shows as "?".
std::string SpokenNames(QWidget* dialog) {
  std::string spoken = AccessibleName(dialog).toStdString();
  for (QWidget* control : dialog->findChildren<QWidget*>()) {
    if (!qobject_cast<QAbstractButton*>(control) && !qobject_cast<QLineEdit*>(control) &&
        !qobject_cast<QProgressBar*>(control))
      continue;
    const QString name = AccessibleName(control);
    spoken += "\n" + (name.isEmpty() ? std::string("?") : name.toStdString());
  }
  return spoken;
}

// The proxy's sign-in dialog, answered by what the test arranged.
std::optional<platform::SignInAnswer> AskProxySignIn() {
  platform::SignInRequest request;
  request.place = "proxy.example:3128";
  request.host = "proxy.example:3128";
  request.proxy = true;
  return platform::AskForSignIn(request);
}

// Every dialog of the client is named by its title (or, without a title
// bar, by what it says), and so is each of its controls.
TEST(Dialogs, EveryDialogAndControlHasAName) {
  FindDialog find(nullptr, [](const FindEvent&) {});
  EXPECT_EQ(SpokenNames(&find).find('?'), std::string::npos) << SpokenNames(&find);
  EXPECT_EQ(AccessibleName(&find), find.windowTitle());

  QWidget frame;
  browser::LoadingDialog loading(&frame);
  EXPECT_EQ(SpokenNames(&loading), "加载中，请稍候...\n加载进度");

  upgrade::UpgradeProgressDialog progress(nullptr);
  // Named for what it does, its words as its description: a screen reader
  // skips loose Chinese text.
  EXPECT_EQ(SpokenNames(&progress), "软件升级\n升级包下载进度\n取消升级");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(&progress)->text(QAccessible::Description),
            QStringLiteral("升级包正在下载，即将升级软件，请稍等..."));

  browser::ShowDownloadCompleteNotice(&frame);
  QWidget* notice = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == QLatin1String("downloadNotice")) notice = w;
  ASSERT_NE(notice, nullptr);
  EXPECT_EQ(SpokenNames(notice), "文件下载\n确定");
  notice->close();

  // The sign-in dialog is modal: read while it is open, then cancelled.
  std::string sign_in;
  QString sign_in_description;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(WaitFor([] { return QApplication::activeModalWidget() != nullptr; }));
    QWidget* dialog = QApplication::activeModalWidget();
    sign_in = SpokenNames(dialog);
    sign_in_description = QAccessible::queryAccessibleInterface(dialog)->text(QAccessible::Description);
    static_cast<QDialog*>(dialog)->reject();
  });
  EXPECT_FALSE(AskProxySignIn().has_value());
  EXPECT_EQ(sign_in, "代理服务器登录\n用户名：\n密码：\n记住密码\n登录\n取消");
  EXPECT_EQ(sign_in_description, QStringLiteral("代理服务器 proxy.example:3128 要求输入用户名和密码。"));
}

// The window active when the sign-in is asked (the loading box, at start)
// may go while the dialog is up: the dialog stays.
TEST(Dialogs, TheSignInOutlivesTheWindowActiveWhenItCame) {
  auto* loading = new QWidget;
  loading->setWindowTitle(QStringLiteral("loading"));
  loading->show();
  loading->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == loading; }));
  bool still_open = false;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(WaitFor([] { return QApplication::activeModalWidget() != nullptr; }));
    QPointer<QWidget> dialog = QApplication::activeModalWidget();
    delete loading;
    still_open = dialog && dialog->isVisible();
    if (dialog) static_cast<QDialog*>(dialog.data())->reject();
  });
  EXPECT_FALSE(AskProxySignIn().has_value());
  EXPECT_TRUE(still_open);
}


// What an assistive technology may read of the password field: that it is
// one and its name; no text, and no text interface through which Qt would
// pass the typed characters on. The user name field stays readable.
TEST(Dialogs, ThePasswordFieldTellsAssistiveTechnologiesNothingTyped) {
  std::optional<platform::SignInAnswer> answer;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(WaitFor([] { return QApplication::activeModalWidget() != nullptr; }));
    QWidget* dialog = QApplication::activeModalWidget();
    auto* user = dialog->findChild<QLineEdit*>(QStringLiteral("user"));
    auto* password = dialog->findChild<QLineEdit*>(QStringLiteral("password"));
    user->setText(QStringLiteral("alice"));
    password->setText(QStringLiteral("s3cret"));
    QAccessibleInterface* field = QAccessible::queryAccessibleInterface(password);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->role(), QAccessible::EditableText);
    EXPECT_TRUE(field->state().passwordEdit);
    EXPECT_EQ(field->textInterface(), nullptr);
    EXPECT_EQ(field->editableTextInterface(), nullptr);
    for (auto kind : {QAccessible::Name, QAccessible::Value, QAccessible::Description, QAccessible::Help})
      EXPECT_FALSE(field->text(kind).contains(QStringLiteral("s3"))) << kind;
    EXPECT_EQ(field->text(QAccessible::Name), QStringLiteral("密码："));
    QAccessibleInterface* name = QAccessible::queryAccessibleInterface(user);
    ASSERT_NE(name->textInterface(), nullptr);
    EXPECT_EQ(name->textInterface()->text(0, 5), QStringLiteral("alice"));
    static_cast<QDialog*>(dialog)->accept();
  });
  answer = AskProxySignIn();
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->password, "s3cret");
}

}  // namespace
