#ifndef UPGRADE_INSTALL_UPGRADE_H_
#define UPGRADE_INSTALL_UPGRADE_H_

#include <functional>
#include <string>

namespace upgrade {

// The failure message: what the user can do when the installer did not
// start.
std::string UpgradeFailureText();

// Starts the downloaded installer at |path| with the desktop's handler,
// from the desktop folder, without waiting for it. Once the handler has
// taken it |close_main_window| runs so the installer can replace the
// program; otherwise the user is told what to do and the program keeps
// running.
void InstallUpgrade(const std::u16string& path, const std::function<void()>& close_main_window);

}  // namespace upgrade

#endif  // UPGRADE_INSTALL_UPGRADE_H_
