#include "ui/win32/win_message_dialog.h"

#include <cstdio>

#include "common/win32/wide_text.h"
#include "ui/win32/message_form.h"

namespace qelto {

WinMessageDialog::WinMessageDialog(HINSTANCE instance, HWND owner)
    : instance_(instance), owner_(owner) {}

std::int32_t WinMessageDialog::ShowMessageForm(std::uint16_t buttons, const std::string& text,
                                               std::int32_t id) {
  if (MessageForm) return kResultRefused;
  std::fprintf(stderr, "qelto-callerid: message %d: %s\n", static_cast<int>(id), text.c_str());
  std::fflush(stderr);

  Tmessage_frm form(instance_, buttons, WideFromUtf8(text));
  MessageForm = &form;
  MessageId = id;
  const INT_PTR result = form.ShowModal(owner_);
  MessageForm = nullptr;
  MessageId = 0;
  return static_cast<std::int32_t>(result);
}

void WinMessageDialog::CloseMessageForm(std::int32_t id) {
  if (MessageForm && id == MessageId) MessageForm->Withdraw();
}

bool WinMessageDialog::IsMessageShowing() const {
  return MessageForm != nullptr;
}

void WinMessageDialog::CloseAny() {
  if (MessageForm) MessageForm->Withdraw();
}

HWND WinMessageDialog::Window() const {
  return MessageForm ? MessageForm->Handle() : nullptr;
}

}  // namespace qelto
