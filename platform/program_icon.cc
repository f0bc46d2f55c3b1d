#include "platform/program_icon.h"

#include <QGuiApplication>
#include <QIcon>

namespace platform {

void SetProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/veltrocrm-%1.png").arg(size), QSize(size, size));
  QGuiApplication::setWindowIcon(icon);
  QGuiApplication::setDesktopFileName(QStringLiteral("veltrocrm"));
}

}  // namespace platform
