#include "platform/password_field.h"

#include <QAccessibleWidget>

namespace platform {

namespace {

// Qt's own line edit interface answers with the text, and its text events
// carry each typed character to the screen reader's bridge. This one has
// no text interface at all, and the bridge passes no text event for an
// object without one.
class SecretAccessible : public QAccessibleWidget {
 public:
  explicit SecretAccessible(QWidget* field) : QAccessibleWidget(field, QAccessible::EditableText) {}

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.passwordEdit = true;
    state.editable = true;
    return state;
  }

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Value) return {};
    return QAccessibleWidget::text(kind);
  }
};

QAccessibleInterface* MakeSecretAccessible(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String(PasswordField::staticMetaObject.className())) return nullptr;
  return new SecretAccessible(static_cast<QWidget*>(object));
}

}  // namespace

PasswordField::PasswordField(QWidget* parent) : QLineEdit(parent) {
  // Before the field's interface is first asked for, which caches it.
  // Widgets live on the UI thread only.
  static bool installed = false;
  if (!installed) QAccessible::installFactory(MakeSecretAccessible);
  installed = true;
  setEchoMode(QLineEdit::Password);
}

}  // namespace platform
