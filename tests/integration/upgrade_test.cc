// The upgrade's dialogs and installer launch, and the download commands of
// the main window, in the real program's widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include "app/app_context.h"
#include "browser/window_registry.h"
#include "browser/root_window_win.h"
#include "browser/downloads.h"
#include "client_harness.h"
#include "env/product.h"
#include "env/window_messages.h"
#include "platform/message_box.h"
#include "upgrade/install_upgrade.h"
#include "upgrade/upgrade_progress_dialog.h"

namespace {

class Upgrade : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home.isValid());
    saved_home = qgetenv("HOME");
    saved_path = qgetenv("PATH");
    qputenv("HOME", home.path().toUtf8());
    // A stand-in for the desktop's handler: records what it was given and
    // where, and answers with the code in "exit".
    QDir().mkpath(home.filePath("bin"));
    QFile handler(home.filePath("bin/xdg-open"));
    ASSERT_TRUE(handler.open(QIODevice::WriteOnly));
    handler.write(QStringLiteral("#!/bin/sh\necho \"$1|$(pwd)\" >> '%1/launched'\nexit $(cat '%1/exit')\n")
                      .arg(home.path())
                      .toUtf8());
    handler.close();
    handler.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", home.filePath("bin").toUtf8() + ":" + saved_path);
    platform::SetMessageBoxAnswererForTesting([this](const platform::MessageBoxRequest& request) {
      boxes.push_back(request);
      return platform::IDOK;
    });
  }
  void TearDown() override {
    if (auto* dialog = upgrade::CurrentUpgradeProgressDialog()) dialog->reject();
    platform::SetMessageBoxAnswererForTesting(nullptr);
    app::AppContext::Get()->Registry()->CloseAllWindows(true);
    WaitFor([] { return app::AppContext::Get()->Registry()->window_count() == 0; }, 10000);
    qputenv("HOME", saved_home);
    qputenv("PATH", saved_path);
  }
  void HandlerExits(int code) {
    QFile exit(home.filePath("exit"));
    ASSERT_TRUE(exit.open(QIODevice::WriteOnly));
    exit.write(QByteArray::number(code));
  }
  QString Launched() {
    QFile launched(home.filePath("launched"));
    return launched.open(QIODevice::ReadOnly) ? QString::fromUtf8(launched.readAll()).trimmed() : QString();
  }

  QTemporaryDir home;
  QByteArray saved_home, saved_path;
  std::vector<platform::MessageBoxRequest> boxes;
};

TEST_F(Upgrade, ProgressDialogIsOneAndCancels) {
  int cancelled = 0;
  upgrade::ShowUpgradeProgress(37, nullptr, [&] { ++cancelled; });
  upgrade::UpgradeProgressDialog* dialog = upgrade::CurrentUpgradeProgressDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(WaitFor([&] { return dialog->isVisible(); }));
  EXPECT_EQ(dialog->percent(), 37);
  // No title bar, but a name for the task bar.
  EXPECT_TRUE(dialog->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8(env::PRODUCT_NAME));
  EXPECT_TRUE(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_NE(QApplication::activeWindow(), dialog);
  upgrade::ShowUpgradeProgress(60, nullptr, nullptr);
  EXPECT_EQ(upgrade::CurrentUpgradeProgressDialog(), dialog);
  EXPECT_EQ(dialog->percent(), 60);
  // Esc or "取消升级": the upgrade under way is to stop, the next report
  // makes a new dialog.
  dialog->reject();
  EXPECT_EQ(cancelled, 1);
  EXPECT_EQ(upgrade::CurrentUpgradeProgressDialog(), nullptr);
}

// Three upgrades in a row: each dialog centred over the main window, not
// where the window system last left one.
TEST_F(Upgrade, ProgressDialogIsCentredEveryTime) {
  QWidget main_window;
  main_window.setGeometry(200, 150, 1000, 700);
  main_window.show();
  ASSERT_TRUE(WaitFor([&] { return main_window.isVisible(); }));
  for (int round = 0; round < 3; ++round) {
    upgrade::ShowUpgradeProgress(10, &main_window, nullptr);
    upgrade::UpgradeProgressDialog* dialog = upgrade::CurrentUpgradeProgressDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitFor([&] { return dialog->isVisible(); }));
    const QPoint off = dialog->frameGeometry().center() - main_window.frameGeometry().center();
    EXPECT_LE(off.manhattanLength(), 4) << "round " << round;
    dialog->move(0, 0);  // where the window system put it once
    dialog->reject();
  }
}

TEST_F(Upgrade, InstallerStartsFromTheDesktopOrTheUserIsTold) {
  bool closed = false;
  HandlerExits(1);
  upgrade::ShowUpgradeProgress(100, nullptr, nullptr);
  upgrade::InstallUpgrade(u"/downloads/Setup.exe", [&] { closed = true; });
  // The handler's answer comes while the window keeps working.
  ASSERT_TRUE(WaitFor([&] { return !boxes.empty(); }));
  EXPECT_FALSE(closed);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "提示");
  EXPECT_EQ(boxes[0].text, upgrade::UpgradeFailureText());
  EXPECT_EQ(boxes[0].text.rfind("\t\t\t此次软件升级失败\n\n", 0), 0u);
  EXPECT_NE(boxes[0].text.find(std::string("找到 ") + env::PRODUCT_NAME + " ,"), std::string::npos);
  EXPECT_NE(boxes[0].text.find("（官网网址：https://"), std::string::npos);
  // Hidden, not destroyed.
  ASSERT_NE(upgrade::CurrentUpgradeProgressDialog(), nullptr);
  EXPECT_FALSE(upgrade::CurrentUpgradeProgressDialog()->isVisible());

  HandlerExits(0);
  upgrade::InstallUpgrade(u"/downloads/Setup.exe", [&] { closed = true; });
  EXPECT_TRUE(WaitFor([&] { return closed; }));
  EXPECT_EQ(boxes.size(), 1u);
  // The desktop folder did not exist: it was made to start the installer in.
  const QString desktop = home.filePath("Desktop");
  EXPECT_EQ(Launched(), "/downloads/Setup.exe|" + desktop + "\n/downloads/Setup.exe|" + desktop);
}

TEST_F(Upgrade, MainWindowCommands) {
  auto window = app::AppContext::Get()->Registry()->CreateRootWindow(false, false, {0, 0, 800, 600}, "about:blank");
  ASSERT_TRUE(WaitFor([&] { return window->GetBrowser() != nullptr; }));
  auto send = [&](uint32_t command, intptr_t lparam) {
    window->GetHandle()->WindowProc(platform::WindowMessage{WM_COMMAND, command, lparam});
  };
  send(CMD_UPGRADE_PROGRESS, 0);
  send(CMD_UPGRADE_PROGRESS, -1);
  EXPECT_EQ(upgrade::CurrentUpgradeProgressDialog(), nullptr);
  send(CMD_UPGRADE_PROGRESS, 150);
  ASSERT_NE(upgrade::CurrentUpgradeProgressDialog(), nullptr);
  EXPECT_EQ(upgrade::CurrentUpgradeProgressDialog()->percent(), 100);
  // Its cancel stops the service's upgrades under way, whichever window
  // started them.
  browser::UpgradeDownloads::Get().Begin(4242);
  upgrade::CurrentUpgradeProgressDialog()->reject();
  EXPECT_TRUE(browser::UpgradeDownloads::Get().Cancelled(4242));
  browser::UpgradeDownloads::Get().Forget(4242);
  EXPECT_EQ(upgrade::CurrentUpgradeProgressDialog(), nullptr);

  // One notice per finished download, centred over the frame, not active.
  send(CMD_DOWNLOAD_FINISHED, 0);
  send(CMD_DOWNLOAD_FINISHED, 0);
  QList<QDialog*> notices;
  ASSERT_TRUE(WaitFor([&] {
    notices.clear();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == QLatin1String("downloadNotice") && w->isVisible()) notices << static_cast<QDialog*>(w);
    return notices.size() == 2;
  }));
  QWidget* frame = window->GetBrowser()->GetHost()->GetWindowHandle()->window();
  for (QDialog* notice : notices) {
    EXPECT_EQ(notice->windowTitle(), QStringLiteral("文件下载"));
    EXPECT_NE(QApplication::activeWindow(), notice);
    EXPECT_NEAR(notice->frameGeometry().center().x(), frame->frameGeometry().center().x(), 20);
    EXPECT_NEAR(notice->frameGeometry().center().y(), frame->frameGeometry().center().y(), 20);
    notice->accept();
  }
  EXPECT_TRUE(WaitFor([&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == QLatin1String("downloadNotice")) return false;
    return true;
  }));
}

}  // namespace
