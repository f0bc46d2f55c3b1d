#include "platform/program_icon.h"

#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>

namespace platform {

void SetProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) {
    // Told the format and not to guess, the reader goes straight to Qt's own
    // PNG decoder; otherwise Qt loads every image plug-in to ask it first.
    QImageReader reader(QStringLiteral(":/icons/veltrocrm-%1.png").arg(size), "png");
    reader.setAutoDetectImageFormat(false);
    icon.addPixmap(QPixmap::fromImage(reader.read()));
  }
  QGuiApplication::setWindowIcon(icon);
  QGuiApplication::setDesktopFileName(QStringLiteral("veltrocrm"));
}

}  // namespace platform
