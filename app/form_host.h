#pragma once

namespace qelto {

// What the window toolkit does for the main window object.
class FormHost {
 public:
  virtual ~FormHost() = default;
  // Switches the 500 ms status timer (`Timer1`) on or off.
  virtual void EnableTimer(bool enabled) = 0;
  // Asks the message loop to end once control returns to it.
  virtual void RequestQuit() = 0;
  // Ends the process at once, releasing nothing: the database writer is stuck in a call that
  // cannot be cancelled and still uses what a normal exit would release. The log is closed and
  // every call is in the journal by then.
  virtual void EndProcessNow() = 0;
};

}  // namespace qelto
