#include "platform/screen_reader.h"

#include <QAccessible>
#include <QWidget>
#include <QtGlobal>

namespace platform {

bool AnnounceToScreenReader(QWidget* window, const std::string& text) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  if (!window) return true;
  QAccessibleAnnouncementEvent event(window, QString::fromStdString(text));
  // A ringing line does not wait for the reader to finish its sentence.
  event.setPoliteness(QAccessible::AnnouncementPoliteness::Assertive);
  QAccessible::updateAccessibility(&event);
  return true;
#else
  Q_UNUSED(window);
  Q_UNUSED(text);
  return false;
#endif
}

}  // namespace platform
