#include "engine/qt/offscreen_accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QWidget>

namespace engine {

namespace {

QHash<QObject*, QPointer<QWidget>>& Adopted() {
  static QHash<QObject*, QPointer<QWidget>> adopted;  // host -> view
  return adopted;
}

class HostAccessible : public QAccessibleWidget {
 public:
  explicit HostAccessible(QWidget* host) : QAccessibleWidget(host) {}

  int childCount() const override { return QAccessibleWidget::childCount() + (View() ? 1 : 0); }

  QAccessibleInterface* child(int index) const override {
    const int own = QAccessibleWidget::childCount();
    if (index < own) return QAccessibleWidget::child(index);
    return index == own && View() ? QAccessible::queryAccessibleInterface(View()) : nullptr;
  }

  int indexOfChild(const QAccessibleInterface* child) const override {
    if (child && View() && child->object() == View()) return QAccessibleWidget::childCount();
    return QAccessibleWidget::indexOfChild(child);
  }

 private:
  QWidget* View() const { return Adopted().value(object()).data(); }
};

QAccessibleInterface* HostFactory(const QString&, QObject* object) {
  if (!object || !Adopted().contains(object)) return nullptr;
  return new HostAccessible(static_cast<QWidget*>(object));
}

}  // namespace

void AdoptForAccessibility(QWidget* host, QWidget* view) {
  static const bool installed = (QAccessible::installFactory(HostFactory), true);
  Q_UNUSED(installed);
  if (!host || !view) return;
  Adopted().insert(host, view);
  QObject::connect(host, &QObject::destroyed, [host] { Adopted().remove(host); });
  // An interface made for the host before the adoption would never list
  // the view: it is made again.
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(host);
  if (iface && !dynamic_cast<HostAccessible*>(iface))
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

}  // namespace engine
