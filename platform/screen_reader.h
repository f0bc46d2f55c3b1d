#ifndef PLATFORM_SCREEN_READER_H_
#define PLATFORM_SCREEN_READER_H_

#include <string>

class QWidget;

namespace platform {

// Has a screen reader, if one listens, say |text| at once, wherever the
// focus is (an AT-SPI announcement from |window|). False when this Qt
// cannot announce (before 6.8): nothing is said then.
bool AnnounceToScreenReader(QWidget* window, const std::string& text);

}  // namespace platform

#endif  // PLATFORM_SCREEN_READER_H_
