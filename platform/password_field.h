#ifndef PLATFORM_PASSWORD_FIELD_H_
#define PLATFORM_PASSWORD_FIELD_H_

#include <QLineEdit>

namespace platform {

// A line edit for a password whose text never reaches an assistive
// technology: a screen reader hears a password field and how it is named,
// never what is typed into it or what it holds.
class PasswordField : public QLineEdit {
  Q_OBJECT

 public:
  explicit PasswordField(QWidget* parent);
};

}  // namespace platform

#endif  // PLATFORM_PASSWORD_FIELD_H_
