#include "ui/qt/qt_message_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <ostream>
#include <string>

#include "common/texts.h"
#include "open_dialog.h"

namespace qelto {
namespace {

using testing_support::ExpectEnded;
using testing_support::Press;
using testing_support::WhenOpen;

constexpr std::uint16_t kNoButtons = 0;
constexpr std::int32_t kOtherId = 4321;

void ExpectNoDialog(const QtMessageDialog& dialog) {
  EXPECT_FALSE(dialog.IsMessageShowing());
  EXPECT_EQ(dialog.Form(), nullptr);
  EXPECT_EQ(dialog.ShownId(), 0);
}

struct KeyCase {
  const char* name;
  std::uint16_t buttons;
  Qt::Key key;
  std::int32_t result;
};

void PrintTo(const KeyCase& c, std::ostream* out) {
  *out << c.name;
}

class KeyThatEnds : public testing::TestWithParam<KeyCase> {};

TEST_P(KeyThatEnds, EndsTheDialogWithItsResult) {
  QtMessageDialog dialog;
  WhenOpen(dialog, [](Tmessage_frm& form) {
    Press(form, GetParam().key);
    ExpectEnded(form);
  });
  EXPECT_EQ(dialog.ShowMessageForm(GetParam().buttons, kDeviceAlertText, kDeviceAlertId),
            GetParam().result);
  ExpectNoDialog(dialog);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyThatEnds,
    testing::Values(KeyCase{"OkReturn", kButtonsOk, Qt::Key_Return, kResultOk},
                    KeyCase{"OkKeypadEnter", kButtonsOk, Qt::Key_Enter, kResultOk},
                    KeyCase{"YesNoReturn", kButtonsYesNo, Qt::Key_Return, kResultYes},
                    KeyCase{"YesNoKeypadEnter", kButtonsYesNo, Qt::Key_Enter, kResultYes},
                    KeyCase{"YesNoEscape", kButtonsYesNo, Qt::Key_Escape, kResultNo},
                    KeyCase{"NoAloneEscape", kNoButton, Qt::Key_Escape, kResultNo},
                    KeyCase{"YesAloneReturn", kYesButton, Qt::Key_Return, kResultYes}),
    [](const auto& test) { return std::string(test.param.name); });

struct IgnoredKeyCase {
  const char* name;
  std::uint16_t buttons;
  Qt::Key key;
};

void PrintTo(const IgnoredKeyCase& c, std::ostream* out) {
  *out << c.name;
}

class KeyThatIsIgnored : public testing::TestWithParam<IgnoredKeyCase> {};

TEST_P(KeyThatIsIgnored, LeavesTheDialogOpen) {
  QtMessageDialog dialog;
  WhenOpen(dialog, [&dialog](Tmessage_frm& form) {
    Press(form, GetParam().key);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(dialog.IsMessageShowing());
    dialog.CloseMessageForm(kDatabaseAlertId);
    ExpectEnded(form);
  });
  EXPECT_EQ(dialog.ShowMessageForm(GetParam().buttons, kDatabaseAlertText, kDatabaseAlertId),
            kResultClosed);
  ExpectNoDialog(dialog);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyThatIsIgnored,
    testing::Values(IgnoredKeyCase{"OkEscape", kButtonsOk, Qt::Key_Escape},
                    IgnoredKeyCase{"NoButtonsEscape", kNoButtons, Qt::Key_Escape},
                    IgnoredKeyCase{"NoButtonsReturn", kNoButtons, Qt::Key_Return}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(MessageDialogKeys, EnterPressesTheButtonTheFocusWasMovedTo) {
  QtMessageDialog dialog;
  WhenOpen(dialog, [](Tmessage_frm& form) {
    Press(form, Qt::Key_Tab);  // from yes_btn to no_btn
    EXPECT_EQ(form.focusWidget(), &form.no_btn);
    Press(form, Qt::Key_Return);
    ExpectEnded(form);
  });
  EXPECT_EQ(dialog.ShowMessageForm(kButtonsYesNo, kExitQuestionText, kSettingsMessageId),
            kResultNo);
}

class CloseBox : public testing::TestWithParam<std::uint16_t> {};

TEST_P(CloseBox, EndsTheDialogWithClosed) {
  QtMessageDialog dialog;
  WhenOpen(dialog, [](Tmessage_frm& form) {
    EXPECT_TRUE(form.close());
    ExpectEnded(form);
  });
  EXPECT_EQ(dialog.ShowMessageForm(GetParam(), kDeviceAlertText, kDeviceAlertId), kResultClosed);
  ExpectNoDialog(dialog);
}

INSTANTIATE_TEST_SUITE_P(AnyButtons, CloseBox,
                         testing::Values(kButtonsOk, kButtonsYesNo, kNoButtons),
                         [](const auto& test) { return "Buttons" + std::to_string(test.param); });

struct ButtonsCase {
  std::uint16_t buttons;
  bool yes, no, ok;
  QPushButton Tmessage_frm::*focused;  // null: no button
};

void PrintTo(const ButtonsCase& c, std::ostream* out) {
  *out << "buttons " << c.buttons;
}

class ButtonValue : public testing::TestWithParam<ButtonsCase> {};

TEST_P(ButtonValue, ShowsOneButtonPerBitAndFocusesTheFirstInTabOrder) {
  const ButtonsCase c = GetParam();
  QtMessageDialog dialog;
  WhenOpen(dialog, [&dialog, c](Tmessage_frm& form) {
    EXPECT_EQ(form.yes_btn.isVisible(), c.yes);
    EXPECT_EQ(form.no_btn.isVisible(), c.no);
    EXPECT_EQ(form.ok_btn.isVisible(), c.ok);
    if (c.focused != nullptr) {
      EXPECT_EQ(form.focusWidget(), &(form.*c.focused));
    } else {
      EXPECT_EQ(qobject_cast<QPushButton*>(form.focusWidget()), nullptr);
    }
    dialog.CloseMessageForm(kDeviceAlertId);
  });
  EXPECT_EQ(dialog.ShowMessageForm(c.buttons, kDeviceAlertText, kDeviceAlertId), kResultClosed);
}

INSTANTIATE_TEST_SUITE_P(
    AllValues, ButtonValue,
    testing::Values(ButtonsCase{0, false, false, false, nullptr},
                    ButtonsCase{1, true, false, false, &Tmessage_frm::yes_btn},
                    ButtonsCase{2, false, true, false, &Tmessage_frm::no_btn},
                    ButtonsCase{3, true, true, false, &Tmessage_frm::yes_btn},
                    ButtonsCase{4, false, false, true, &Tmessage_frm::ok_btn},
                    ButtonsCase{5, true, false, true, &Tmessage_frm::yes_btn},
                    ButtonsCase{6, false, true, true, &Tmessage_frm::no_btn},
                    ButtonsCase{7, true, true, true, &Tmessage_frm::yes_btn},
                    // The unused bits show nothing.
                    ButtonsCase{0xFFF8, false, false, false, nullptr},
                    ButtonsCase{0xFFFC, false, false, true, &Tmessage_frm::ok_btn}),
    [](const auto& test) { return "Buttons" + std::to_string(test.param.buttons); });

TEST(MessageDialog, EachShowingStartsFromAFreshDialog) {
  QtMessageDialog dialog;
  WhenOpen(dialog, [](Tmessage_frm& form) {
    form.Memo1.append(QStringLiteral("left over"));
    Press(form, Qt::Key_Tab);
    Press(form, Qt::Key_Return);
    ExpectEnded(form);
  });
  ASSERT_EQ(dialog.ShowMessageForm(kButtonsYesNo, kExitQuestionText, kSettingsMessageId),
            kResultNo);
  WhenOpen(dialog, [&dialog](Tmessage_frm& form) {
    EXPECT_EQ(form.Memo1.toPlainText(), QString::fromUtf8(kDeviceAlertText));
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8(kMessageCaptionText));
    EXPECT_EQ(form.ok_btn.text(), QString::fromUtf8(kOkButtonText));
    EXPECT_EQ(form.focusWidget(), &form.ok_btn);
    EXPECT_FALSE(form.no_btn.isVisible());
    dialog.CloseMessageForm(kDeviceAlertId);
  });
  EXPECT_EQ(dialog.ShowMessageForm(kButtonsOk, kDeviceAlertText, kDeviceAlertId), kResultClosed);
}

TEST(CloseMessageForm, WithdrawsOnlyTheDialogWithItsIdentifier) {
  QtMessageDialog dialog;
  WhenOpen(dialog, [&dialog](Tmessage_frm& form) {
    dialog.CloseMessageForm(kOtherId);
    dialog.CloseMessageForm(kDatabaseAlertId);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(dialog.ShownId(), kDeviceAlertId);
    dialog.CloseMessageForm(kDeviceAlertId);
    ExpectEnded(form);
  });
  EXPECT_EQ(dialog.ShowMessageForm(kButtonsOk, kDeviceAlertText, kDeviceAlertId), kResultClosed);
  ExpectNoDialog(dialog);
  dialog.CloseMessageForm(kDeviceAlertId);  // none open: nothing happens
  ExpectNoDialog(dialog);
}

// The status timer's situation: a timer keeps ticking inside the open dialog's modal loop and
// withdraws the alert by its identifier once the cause has gone.
TEST(CloseMessageForm, FromATimerTickInsideTheModalLoopEndsTheWaitWithClosed) {
  QtMessageDialog dialog;
  QTimer tick;
  tick.setInterval(0);
  int ticks = 0;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    ++ticks;
    EXPECT_TRUE(dialog.IsMessageShowing());
    if (ticks < 3) {
      dialog.CloseMessageForm(kDatabaseAlertId);  // the other alert's cause: not this dialog
    } else {
      dialog.CloseMessageForm(kDeviceAlertId);
    }
  });
  tick.start();
  EXPECT_EQ(dialog.ShowMessageForm(kButtonsOk, kDeviceAlertText, kDeviceAlertId), kResultClosed);
  tick.stop();
  EXPECT_EQ(ticks, 3);
  ExpectNoDialog(dialog);
}

TEST(ShowMessageForm, RefusesASecondDialogWhileOneIsOpenAndLeavesTheFirstAlone) {
  QtMessageDialog dialog;
  WhenOpen(dialog, [&dialog](Tmessage_frm& form) {
    // Should a second dialog open after all, this ends it, so the fault shows as a failure.
    QTimer::singleShot(0, [&form] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal != &form && modal != nullptr) {
        ADD_FAILURE() << "a second dialog opened";
        modal->close();
      }
    });
    EXPECT_EQ(dialog.ShowMessageForm(kButtonsYesNo, kExitQuestionText, kSettingsMessageId),
              kResultRefused);
    EXPECT_EQ(dialog.ShowMessageForm(kButtonsOk, kSettingsAlertText, kSettingsMessageId),
              kResultRefused);
    EXPECT_EQ(dialog.Form(), &form);
    EXPECT_EQ(QApplication::activeModalWidget(), &form);
    EXPECT_EQ(dialog.ShownId(), kDeviceAlertId);
    EXPECT_EQ(form.Memo1.toPlainText(), QString::fromUtf8(kDeviceAlertText));
    EXPECT_TRUE(form.ok_btn.isVisible());
    EXPECT_FALSE(form.yes_btn.isVisible());
    Press(form, Qt::Key_Return);
    ExpectEnded(form);
  });
  EXPECT_EQ(dialog.ShowMessageForm(kButtonsOk, kDeviceAlertText, kDeviceAlertId), kResultOk);
  ExpectNoDialog(dialog);
}

TEST(ShowMessageForm, WritesTheTextToStandardErrorWhenItOpens) {
  QtMessageDialog dialog;
  WhenOpen(dialog, [&dialog](Tmessage_frm&) { dialog.CloseMessageForm(kDatabaseAlertId); });
  testing::internal::CaptureStderr();
  dialog.ShowMessageForm(kButtonsOk, kDatabaseAlertText, kDatabaseAlertId);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            std::string("qelto-callerid: message 1234: ") + kDatabaseAlertText + "\n");
}

TEST(ShowMessageForm, SettingsAlertWithoutADisplayCountsAsAcknowledgedAtOnce) {
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
    GTEST_SKIP() << "only without a display";
  }
  QtMessageDialog dialog;
  testing::internal::CaptureStderr();
  EXPECT_EQ(dialog.ShowMessageForm(kButtonsOk, kSettingsAlertText, kSettingsMessageId), kResultOk);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            std::string("qelto-callerid: message 9876: ") + kSettingsAlertText + "\n");
  ExpectNoDialog(dialog);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace qelto
