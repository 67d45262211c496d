#pragma once

#include <cstdint>
#include <string>

namespace qelto {

// Buttons of a message dialog: one bit a button.
inline constexpr std::uint16_t kYesButton = 1;
inline constexpr std::uint16_t kNoButton = 2;
inline constexpr std::uint16_t kOkButton = 4;
inline constexpr std::uint16_t kButtonsOk = kOkButton;
inline constexpr std::uint16_t kButtonsYesNo = kYesButton | kNoButton;

// How a message dialog ended.
inline constexpr std::int32_t kResultOk = 1;
inline constexpr std::int32_t kResultClosed = 2;  // close box, or withdrawn by its identifier
inline constexpr std::int32_t kResultYes = 6;
inline constexpr std::int32_t kResultNo = 7;
inline constexpr std::int32_t kResultRefused = -1;  // another dialog was already open

// Identifiers of the dialogs the recorder shows.
inline constexpr std::int32_t kDatabaseAlertId = 1234;
inline constexpr std::int32_t kDeviceAlertId = 2345;
inline constexpr std::int32_t kSettingsMessageId =
    9876;  // the settings alert and the exit question

// The recorder's modal message dialog: Persian text, right to left, at most one at a time. Used on
// the user-interface thread only.
class MessageDialog {
 public:
  virtual ~MessageDialog() = default;
  // Shows the dialog modally with the buttons of `buttons` and waits until it ends; returns the
  // result. Returns kResultRefused at once, showing nothing, while another dialog is open. The
  // wait keeps dispatching the thread's events, so timer ticks run nested inside it.
  virtual std::int32_t ShowMessageForm(std::uint16_t buttons, const std::string& text,
                                       std::int32_t id) = 0;
  // Withdraws the open dialog when it carries `id` (its ShowMessageForm returns kResultClosed);
  // does nothing otherwise.
  virtual void CloseMessageForm(std::int32_t id) = 0;
  // Withdraws the open dialog whatever its identifier (its ShowMessageForm returns
  // kResultClosed), as when the recorder is closed while it waits; does nothing otherwise.
  virtual void CloseAny() = 0;
  // True while a dialog is open.
  virtual bool IsMessageShowing() const = 0;
};

}  // namespace qelto
