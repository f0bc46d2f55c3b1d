#ifndef PLATFORM_PROGRAM_ICON_H_
#define PLATFORM_PROGRAM_ICON_H_

namespace platform {

// Gives every window of the program its icon and ties the program to its
// desktop entry (veltrocrm.desktop). Needs the application object.
void SetProgramIcon();

}  // namespace platform

#endif  // PLATFORM_PROGRAM_ICON_H_
