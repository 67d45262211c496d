#pragma once

#include <string>
#include <vector>

namespace qelto {

// The option a restart by Windows carries (see RegisterRestart): the folder to work in, so that
// the restarted recorder finds its call journal wherever Windows starts it.
inline constexpr const wchar_t* kWorkingFolderOption = L"/WORKDIR=";

// Where the recorder works: log.txt, the call journal and its lock.
struct WorkingFolder {
  std::string path;  // UTF-8, the folder in use; empty when none can be written
  // For the log: the folder it was started in could not be written, and where it works instead.
  std::string note;
  std::vector<std::string> tried;  // every folder tried, when none could be written
};

// Makes the working folder one the recorder can write. A folder given with kWorkingFolderOption
// comes first; then the folder it was started in, which a double click on the executable makes
// the program folder (not the shop's user's to write); then the installation's working folder, as
// the installer recorded it; then "QELTO Caller ID" in the user's local application data.
WorkingFolder EnterWritableWorkingFolder(const std::wstring& commandLine);

// Whether a file can be made in `folder` (UTF-8): tried with a file that is deleted at once.
bool IsWritableFolder(const std::string& folder);

// Asks Windows to start the recorder again, in this working folder, after the Restart Manager
// closed it for an update (an installer, a driver's update). Not after a crash, a hang or a
// reboot: the logon shortcut starts it then.
void RegisterRestart(const std::string& workingFolder);

}  // namespace qelto
