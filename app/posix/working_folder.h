#pragma once

#include <string>

namespace qelto {

// The option the desktop entries start the recorder with. A session starts programs in the
// user's home folder, which is no place for the log and the call journal; with this option the
// recorder works in its own private folder instead. Started without it (from a terminal, or a
// copied recorder), it keeps the folder it was started in.
inline constexpr const char* kStateFolderOption = "--in-state-folder";

// Whether `kStateFolderOption` is among the arguments.
bool HasStateFolderOption(int argc, const char* const* argv);

// The recorder's folder in the user's state folder: $XDG_STATE_HOME/qelto-callerid, or
// ~/.local/state/qelto-callerid when that is unset, empty or relative. Empty when neither is known.
std::string StateFolder(const char* xdgStateHome, const char* home);

// Creates `folder` where missing, with its missing parents, readable by its owner only (it holds
// callers' numbers), and makes it the working folder. On failure returns false and says why in
// `error`; the working folder is then unchanged.
bool EnterStateFolder(const std::string& folder, std::string& error);

}  // namespace qelto
