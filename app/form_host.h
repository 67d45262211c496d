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
};

}  // namespace qelto
