#include "platform/screen_reader.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QTimer>
#include <QWidget>
#include <QtGlobal>

namespace platform {

namespace {

// Before Qt's own announcements (6.8): a notification that appears, which a
// screen reader speaks wherever the focus is (Orca does, by its role). It
// is one pixel, paints nothing and takes no input.
class ScreenReaderNotice : public QWidget {
  Q_OBJECT

 public:
  explicit ScreenReaderNotice(QWidget* window) : QWidget(window) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(0, 0, 1, 1);
    hide_.setSingleShot(true);
    // Long enough to be read again in review, gone before the next call.
    hide_.setInterval(15000);
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

#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
// Asked for every object's classes as Qt meets them, some still being made:
// only the name is looked at until it is ours.
QAccessibleInterface* MakeNotification(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String(ScreenReaderNotice::staticMetaObject.className())) return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Notification);
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
  auto* notice = window->findChild<ScreenReaderNotice*>(QString(), Qt::FindDirectChildrenOnly);
  if (!notice) notice = new ScreenReaderNotice(window);
  notice->Say(QString::fromStdString(text));
#endif
}

}  // namespace platform

#include "screen_reader.moc"
