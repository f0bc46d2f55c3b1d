#include "platform/screen_reader.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QTimer>
#include <QWidget>
#include <QtGlobal>

namespace platform {

namespace {

#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
// Before Qt's own announcements: a notification that appears, which a
// screen reader speaks wherever the focus is (Orca does, by its role). It
// is one pixel, paints nothing and takes no input.
constexpr char kAnnouncerName[] = "screenReaderAnnouncer";
// Long enough to be read again in review, gone before the next call.
constexpr int kShownMs = 15000;

class Announcer : public QWidget {
 public:
  explicit Announcer(QWidget* window) : QWidget(window) {
    setObjectName(QLatin1String(kAnnouncerName));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(0, 0, 1, 1);
    hide_.setSingleShot(true);
    hide_.setInterval(kShownMs);
    connect(&hide_, &QTimer::timeout, this, &QWidget::hide);
  }
  void Say(const QString& text) {
    // Showing again is what the reader hears.
    hide();
    setAccessibleName(text);
    show();
    hide_.start();
  }

 private:
  QTimer hide_;
};

QAccessibleInterface* MakeNotification(const QString&, QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  if (!widget || widget->objectName() != QLatin1String(kAnnouncerName)) return nullptr;
  return new QAccessibleWidget(widget, QAccessible::Notification);
}
#endif

}  // namespace

void AnnounceToScreenReader(QWidget* window, const std::string& text) {
  if (!window) return;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  QAccessibleAnnouncementEvent event(window, QString::fromStdString(text));
  // A ringing line does not wait for the reader to finish its sentence.
  event.setPoliteness(QAccessible::AnnouncementPoliteness::Assertive);
  QAccessible::updateAccessibility(&event);
#else
  static bool factory_installed = false;  // UI thread
  if (!factory_installed) QAccessible::installFactory(MakeNotification);
  factory_installed = true;
  auto* announcer = window->findChild<Announcer*>(QLatin1String(kAnnouncerName), Qt::FindDirectChildrenOnly);
  if (!announcer) announcer = new Announcer(window);
  announcer->Say(QString::fromStdString(text));
#endif
}

}  // namespace platform
