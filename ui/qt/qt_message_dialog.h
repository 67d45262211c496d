#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ui/message_dialog.h"
#include "ui/qt/message_form.h"

namespace qelto {

// The message dialog on Qt Widgets: one `Tmessage_frm`, made anew for each showing and released
// when it ends. At most one is open per object; the recorder keeps one object for the whole run.
//
// Every showing writes "qelto-callerid: message <id>: <text>" to standard error, so that a run
// without a display still tells what it would have asked. Without a display (Qt's offscreen
// platform) nobody can answer the settings alert, which is followed by the end of the program
// anyway: it counts as acknowledged at once. Every other dialog is shown as usual there and ends
// by CloseMessageForm.
class QtMessageDialog : public MessageDialog {
 public:
  QtMessageDialog();
  ~QtMessageDialog() override;

  std::int32_t ShowMessageForm(std::uint16_t buttons, const std::string& text,
                               std::int32_t id) override;
  void CloseMessageForm(std::int32_t id) override;
  void CloseAny() override;
  bool IsMessageShowing() const override;

  // The open dialog, or null when none is open.
  Tmessage_frm* Form() const { return MessageForm.get(); }
  // The identifier of the open dialog; 0 when none is open.
  std::int32_t ShownId() const { return MessageId; }

 private:
  void Prepare(std::uint16_t buttons, const std::string& text);

  std::unique_ptr<Tmessage_frm> MessageForm;
  std::int32_t MessageId = 0;
};

}  // namespace qelto
