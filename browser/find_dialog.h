#ifndef BROWSER_FIND_DIALOG_H_
#define BROWSER_FIND_DIALOG_H_

#include <QDialog>
#include <functional>
#include <cstdint>
#include <string>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace browser {

// What the find dialog reports: a search to run, or its closing.
struct FindEvent {
  bool dialog_closed = false;
  std::u16string text;
  bool match_case = false;
  bool forward = true;
};

// The dialog's texts in one language.
struct FindDialogTexts {
  const char* title;
  const char* find_what;
  const char* match_case;
  const char* up;
  const char* down;
  const char* find_next;
  const char* cancel;
};

// The texts for a system language (a Windows language id): Chinese,
// simplified or traditional, for Chinese, English otherwise, as the
// system's own dialog would.
const FindDialogTexts& FindDialogTextsFor(uint16_t lang_id);

// The modeless "Find" dialog of a window with controls, in the system's
// language.
class FindDialog : public QDialog {
  Q_OBJECT
 public:
  FindDialog(QWidget* owner, std::function<void(const FindEvent&)> on_event);

 private:
  void FindNext();

  std::function<void(const FindEvent&)> on_event_;
  QLineEdit* text_;
  QCheckBox* match_case_;
  QRadioButton* down_;
};

// Remembers the last search across find events, so a changed text or case
// starts a new search and an unchanged one continues it.
class FindState {
 public:
  struct Actions {
    std::function<void(const std::u16string& text, bool forward, bool match_case, bool find_next)> find;
    std::function<void(bool clear_selection)> stop;
  };
  void Handle(const FindEvent& event, const Actions& actions);

 private:
  std::u16string last_text_;
  bool last_match_case_ = false;
  bool find_next_ = false;
};

}  // namespace browser

#endif  // BROWSER_FIND_DIALOG_H_
