#ifndef APP_SUPPORT_BUNDLE_H_
#define APP_SUPPORT_BUNDLE_H_

#include <string>

#include "engine/command_line.h"

namespace app {

// The file --support-bundle writes when given no name: in the home folder,
// named by the time.
std::string DefaultSupportBundlePath();

// |text| with every run of seven digits or more, which may be a caller's
// number, masked but its first three and last four ("139****5678").
std::string MaskCallerNumbers(const std::string& text);

// Writes one .tar.gz for support: the last |days| days of logs as text,
// the version and the engine's, the effective settings and where each came
// from, and the desktop (display server, scale, monitors, input method,
// language); nothing of the web client's data, and callers' numbers masked
// unless |command_line| has --with-caller-numbers. Readable by the user only;
// an existing file is not replaced. Returns the exit code, with what went
// wrong in |problem|.
int WriteSupportBundle(const std::string& path, const engine::CommandLine& command_line, int days,
                       std::string& problem);

}  // namespace app

#endif  // APP_SUPPORT_BUNDLE_H_
