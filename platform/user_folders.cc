#include "platform/user_folders.h"

#include <QStandardPaths>

namespace platform {

std::string DocumentsFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
}

std::string DesktopFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString();
}

}  // namespace platform
