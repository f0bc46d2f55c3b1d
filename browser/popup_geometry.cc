#include "browser/popup_geometry.h"

#include <algorithm>
#include <cstdlib>
#include <strings.h>
#include <vector>

namespace browser {

PopupPlacement PlacePopup(const std::string& target_name, const platform::Rect& work_area) {
  PopupPlacement placement;
  placement.bounds = {work_area.width * 20 / 100, work_area.height * 20 / 100, work_area.width * 60 / 100,
                      work_area.height * 60 / 100};
  const size_t underscores = std::count(target_name.begin(), target_name.end(), '_');
  if (underscores != 4 && underscores != 5) return placement;

  // Five fields; with five "_" the text after the fifth is ignored.
  std::vector<std::string> fields;
  size_t start = 0;
  while (fields.size() < 5) {
    size_t end = target_name.find('_', start);
    if (fields.size() == 4 || end == std::string::npos) end = underscores == 4 ? target_name.size() : end;
    fields.push_back(target_name.substr(start, end - start));
    start = end + 1;
  }
  if (strcasecmp(fields[0].c_str(), "no") == 0) placement.style = WS_POPUP_BORDERLESS;
  auto number = [](const std::string& text) { return static_cast<int>(std::strtol(text.c_str(), nullptr, 10)); };
  placement.bounds = {number(fields[1]), number(fields[2]), number(fields[3]), number(fields[4])};
  return placement;
}

}  // namespace browser
