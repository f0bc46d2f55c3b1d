#ifndef PLATFORM_SCREEN_READER_H_
#define PLATFORM_SCREEN_READER_H_

#include <string>

class QWidget;

namespace platform {

// Has a screen reader, if one listens, say |text| at once, wherever the
// focus is: an AT-SPI announcement from |window| (Qt 6.8 on), or a
// notification that appears in it (before).
void AnnounceToScreenReader(QWidget* window, const std::string& text);

}  // namespace platform

#endif  // PLATFORM_SCREEN_READER_H_
