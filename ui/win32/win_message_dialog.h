#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/message_dialog.h"

namespace qelto {

class Tmessage_frm;

// The message dialog on Win32: a `Tmessage_frm` made anew for each showing and released when it
// ends; at most one at a time. Every showing also writes "qelto-callerid: message <id>: <text>"
// to standard error, where there is one, so that a run from a console tells what it asked.
class WinMessageDialog : public MessageDialog {
 public:
  // `owner`: the window that owns the dialogs (the hidden main window).
  WinMessageDialog(HINSTANCE instance, HWND owner);
  WinMessageDialog(const WinMessageDialog&) = delete;
  WinMessageDialog& operator=(const WinMessageDialog&) = delete;

  std::int32_t ShowMessageForm(std::uint16_t buttons, const std::string& text,
                               std::int32_t id) override;
  void CloseMessageForm(std::int32_t id) override;
  void CloseAny() override;
  bool IsMessageShowing() const override;

  // The open dialog's window, or null.
  HWND Window() const;

 private:
  HINSTANCE instance_;
  HWND owner_;
  Tmessage_frm* MessageForm = nullptr;  // the showing on the stack of ShowMessageForm
  std::int32_t MessageId = 0;
};

}  // namespace qelto
