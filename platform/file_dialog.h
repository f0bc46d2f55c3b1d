#ifndef PLATFORM_FILE_DIALOG_H_
#define PLATFORM_FILE_DIALOG_H_

#include <functional>
#include <string>

namespace platform {

struct SaveFileRequest {
  std::string folder;          // where the dialog starts
  std::string file_name;       // the name it proposes
  std::string filter;          // "Description (*.ext)"
  std::string default_suffix;  // added to a name typed without one; may be empty
};

// The modal file-save dialog (no owner, asks before overwriting). The
// chosen full path, or empty when the user cancelled.
std::string AskSaveFilePath(const SaveFileRequest& request);

}  // namespace platform

#endif  // PLATFORM_FILE_DIALOG_H_
