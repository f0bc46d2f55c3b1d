#ifndef ENV_PATHS_H_
#define ENV_PATHS_H_

#include <string>

namespace env {

// Folder of the running executable, with a trailing "/".
std::string GetModuleDirectory();
// <data home>/morvanecrmconfig/config.ini; creates the folder on every call.
// Degrades to the relative "config.ini" without a data home.
std::string GetConfigFilePath();
// <data home>/morvanecrm/ (trailing "/"), or empty without a data home.
std::string GetUserDataDirectory();
// pardo.ini beside the executable, or in <config home>/veltrocrm/ (created)
// when the executable's folder cannot be written (an installed program).
std::string GetFlagsFilePath();
// The log folder (trailing "/"): log/ beside the executable when it is a
// folder this process can write, else <state home>/veltrocrm/log/
// (created); empty when neither exists.
std::string GetLogDirectory();
// The hosts helper beside the executable.
std::string HostsHelperPath();

// Empties the user data directory; never clears a relative path.
void ClearUserDataDirectory();
// Removes everything inside |folder| (trailing "/"), bottom-up. Symbolic
// links are removed themselves, never followed. A file that cannot be
// deleted is truncated instead. The folder itself stays.
void DeleteFolderContents(const std::string& folder);

}  // namespace env

#endif  // ENV_PATHS_H_
