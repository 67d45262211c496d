#include "ui/qt/qt_message_dialog.h"

#include <QGuiApplication>
#include <QString>
#include <cstdio>

#include "common/texts.h"

namespace qelto {
namespace {

bool IsOffscreenPlatform() {
  return QGuiApplication::platformName() == QLatin1String("offscreen");
}

bool IsSettingsAlert(std::uint16_t buttons, std::int32_t id) {
  return id == kSettingsMessageId && buttons == kButtonsOk;
}

void ReportOnStandardError(const std::string& text, std::int32_t id) {
  std::fprintf(stderr, "qelto-callerid: message %d: %s\n", static_cast<int>(id), text.c_str());
  std::fflush(stderr);
}

}  // namespace

QtMessageDialog::QtMessageDialog() = default;
QtMessageDialog::~QtMessageDialog() = default;

std::int32_t QtMessageDialog::ShowMessageForm(std::uint16_t buttons, const std::string& text,
                                              std::int32_t id) {
  if (MessageForm) return kResultRefused;
  ReportOnStandardError(text, id);
  if (IsSettingsAlert(buttons, id) && IsOffscreenPlatform()) return kResultOk;

  // Whatever way this call ends - a result or an error - the dialog is released and the state
  // cleared, so that the next request is not refused.
  struct Release {
    QtMessageDialog& owner;
    ~Release() {
      owner.MessageForm.reset();
      owner.MessageId = 0;
    }
  } release{*this};

  MessageForm = std::make_unique<Tmessage_frm>();
  MessageId = id;
  Prepare(buttons, text);
  const int result = MessageForm->exec();
  // Hidden by other means than the dialog's own endings (which all set a result): closed.
  return result == QDialog::Rejected ? kResultClosed : result;
}

void QtMessageDialog::Prepare(std::uint16_t buttons, const std::string& text) {
  Tmessage_frm& form = *MessageForm;
  form.setWindowTitle(QString::fromUtf8(kMessageCaptionText));
  form.ok_btn.setText(QString::fromUtf8(kOkButtonText));
  form.no_btn.setText(QString::fromUtf8(kNoButtonText));
  form.yes_btn.setText(QString::fromUtf8(kYesButtonText));
  form.ok_btn.setVisible((buttons & kOkButton) != 0);
  form.yes_btn.setVisible((buttons & kYesButton) != 0);
  form.no_btn.setVisible((buttons & kNoButton) != 0);
  form.Memo1.setPlainText(QString::fromStdString(text));
}

void QtMessageDialog::CloseMessageForm(std::int32_t id) {
  if (MessageForm && id == MessageId) MessageForm->done(kResultClosed);
}

void QtMessageDialog::CloseAny() {
  if (MessageForm) MessageForm->done(kResultClosed);
}

bool QtMessageDialog::IsMessageShowing() const {
  return MessageForm != nullptr;
}

}  // namespace qelto
