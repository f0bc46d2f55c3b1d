#ifndef BROWSER_WINDOW_CONTROLS_H_
#define BROWSER_WINDOW_CONTROLS_H_

#include <cstdint>

class QWidget;

namespace browser {

// The texts of the window with controls, in the system's language.
struct ControlTexts {
  const char* file;
  const char* find;
  const char* exit;
  const char* help;
  const char* about;
  const char* about_title;
  const char* back;
  const char* forward;
  const char* reload;
  const char* stop;
};
const ControlTexts& ControlTextsFor(uint16_t lang_id);


// The product's About box over |owner|, until the user closes it.
void ShowAboutDialog(QWidget* owner);

}  // namespace browser

#endif  // BROWSER_WINDOW_CONTROLS_H_
