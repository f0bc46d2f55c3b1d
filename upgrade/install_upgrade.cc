#include "upgrade/install_upgrade.h"

#include <QDir>

#include "build_config.h"
#include "env/product.h"
#include "env/utf.h"
#include "platform/desktop_services.h"
#include "platform/user_folders.h"
#include "platform/message_box.h"
#include "upgrade/upgrade_progress_dialog.h"

namespace upgrade {

namespace {
constexpr int kOpenTimeoutMs = 10000;
}  // namespace

std::string UpgradeFailureText() {
  std::string text =
      "\t\t\t此次软件升级失败\n\n"
      "（提示：若在升级过程中出现操作系统的提示框，为了避免升级失败，请点击 运行 按钮）\n\n"
      "对于升级失败的处理办法：\n"
      "1.在下次登录软件时，再升级\n"
      "2.在 电脑上的下载文件夹中 找到 ";
  text += env::PRODUCT_NAME;
  text += " ,然后双击它进行升级安装（安装前请关闭运行的此软件）\n"
          "3.上官网下载最新版本（官网网址：" VELTRO_OFFICIAL_SITE "），下载完后进行手动升级安装（安装前请关闭运行的此软件）\n";
  return text;
}

void InstallUpgrade(const std::u16string& path, const std::function<void()>& close_main_window) {
  if (UpgradeProgressDialog* dialog = CurrentUpgradeProgressDialog()) dialog->hide();
  const std::string desktop = platform::DesktopFolder();
  if (!desktop.empty()) QDir().mkpath(QString::fromStdString(desktop));
  auto failed = [] {
    platform::ShowMessageBox(nullptr, UpgradeFailureText(), "提示", platform::MB_OK);
  };
  if (path.empty()) return failed();
  // The handler's answer comes later: the window keeps working meanwhile.
  platform::OpenWithDefaultHandler(env::Utf16ToUtf8(path), kOpenTimeoutMs, desktop,
                                   [close_main_window, failed](bool opened) { opened ? close_main_window() : failed(); });
}

}  // namespace upgrade
