#pragma once

#include <cstdint>
#include <string>

namespace qelto {

// Buttons and results of a message dialog.
inline constexpr std::uint16_t kButtonsOk = 4;
inline constexpr std::uint16_t kButtonsYesNo = 3;
inline constexpr std::int32_t kResultOk = 1;
inline constexpr std::int32_t kResultYes = 6;
inline constexpr std::int32_t kResultNo = 7;
inline constexpr std::int32_t kResultClosed = 2;
inline constexpr std::int32_t kResultRefused = -1;
// Identifier of the settings alert and of the exit question.
inline constexpr std::int32_t kSettingsMessageId = 9876;

// What the window toolkit does for the main window object.
class FormHost {
 public:
  virtual ~FormHost() = default;
  // Switches the 500 ms status timer (`Timer1`) on or off.
  virtual void EnableTimer(bool enabled) = 0;
  // Asks the message loop to end once control returns to it.
  virtual void RequestQuit() = 0;
  // Shows a modal message with the given buttons under identifier `id`, and returns how it
  // ended (kResultOk, kResultYes, kResultNo, kResultClosed), or kResultRefused at once when
  // another message is open.
  virtual std::int32_t ShowMessageForm(std::uint16_t buttons, const std::string& text,
                                       std::int32_t id) = 0;
};

}  // namespace qelto
