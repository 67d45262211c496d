#include "ui/qt/message_form.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QPixmap>
#include <cstdlib>
#include <string>

#include "common/texts.h"
#include "open_dialog.h"
#include "ui/qt/qt_message_dialog.h"

namespace qelto {
namespace {

using testing_support::WhenOpen;

const QRgb kFormColour = qRgb(156, 209, 235);
const QRgb kMemoColour = qRgb(255, 255, 204);

QRect OnForm(const QWidget& control, const QWidget& form) {
  return QRect(control.mapTo(&form, QPoint(0, 0)), control.size());
}

TEST(MessageForm, HasTheFixedLayout) {
  Tmessage_frm form;
  EXPECT_EQ(form.size(), QSize(334, 122));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_EQ(form.GroupBox1.geometry(), QRect(8, 3, 319, 113));
  EXPECT_EQ(form.Memo1.parentWidget(), &form.GroupBox1);
  EXPECT_EQ(form.Memo1.geometry(), QRect(8, 23, 301, 38));
  EXPECT_EQ(form.yes_btn.parentWidget(), &form.GroupBox1);
  EXPECT_EQ(form.yes_btn.geometry(), QRect(187, 67, 75, 29));
  EXPECT_EQ(form.no_btn.parentWidget(), &form.GroupBox1);
  EXPECT_EQ(form.no_btn.geometry(), QRect(55, 67, 75, 29));
  EXPECT_EQ(form.ok_btn.parentWidget(), &form);
  EXPECT_EQ(form.ok_btn.geometry(), QRect(129, 70, 75, 29));
  // Level with the other two buttons, whose group box starts 3 pixels down.
  EXPECT_EQ(OnForm(form.yes_btn, form).top(), form.ok_btn.y());
}

TEST(MessageForm, HasACloseBoxOnly) {
  Tmessage_frm form;
  const Qt::WindowFlags flags = form.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
}

TEST(MessageForm, WritesItsTextsInFontsThatHaveArabicLetters) {
  Tmessage_frm form;
  for (const QWidget* control : std::initializer_list<const QWidget*>{&form.Memo1, &form.yes_btn,
                                                                      &form.no_btn, &form.ok_btn}) {
    const QFontInfo info(control->font());
    EXPECT_TRUE(QFontDatabase::writingSystems(info.family()).contains(QFontDatabase::Arabic))
        << control->objectName().toStdString() << ": " << info.family().toStdString();
    EXPECT_TRUE(info.bold());
    EXPECT_EQ(info.pixelSize(), 13);
  }
}

// What a grab of the open dialog shows, for the checks below.
struct Picture {
  QImage image;
  QRect memo, yes, no, ok;  // on the form
};

bool IsGreen(QRgb c) {
  return qGreen(c) > qRed(c) + 60 && qGreen(c) > qBlue(c) + 60;
}
bool IsRed(QRgb c) {
  return qRed(c) > qGreen(c) + 100 && qRed(c) > qBlue(c) + 100;
}

// Grabs the dialog as the next ShowMessageForm opens it, and saves the picture as
// <build folder>/message_<name>.png for a person to look at.
Picture ShowAndGrab(std::uint16_t buttons, const char* text, std::int32_t id, const char* name) {
  QtMessageDialog dialog;
  Picture picture;
  WhenOpen(dialog, [&](Tmessage_frm& form) {
    picture.image = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
    picture.memo = OnForm(form.Memo1, form);
    picture.yes = OnForm(form.yes_btn, form);
    picture.no = OnForm(form.no_btn, form);
    picture.ok = OnForm(form.ok_btn, form);
    dialog.CloseMessageForm(id);
  });
  dialog.ShowMessageForm(buttons, text, id);
  const std::string file = std::string(QELTO_SCREENSHOT_DIR) + "/message_" + name + ".png";
  EXPECT_TRUE(picture.image.save(QString::fromStdString(file))) << file;
  return picture;
}

// Every pixel of the glyph colours lies inside the rectangle of a button that carries it.
void ExpectGlyphsOnlyIn(const QImage& image, bool (*isGlyph)(QRgb), const QRect& place) {
  int found = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (!isGlyph(image.pixel(x, y))) continue;
      ++found;
      EXPECT_TRUE(place.contains(x, y)) << x << "," << y;
    }
  }
  EXPECT_GT(found, 5);
}

// The text is drawn in navy on the memo's colour, centred: as much free memo on its left as on
// its right.
void ExpectCentredNavyText(const Picture& picture) {
  const QRect inner = picture.memo.adjusted(1, 1, -1, -1);
  int left = inner.right();
  int right = inner.left();
  int navy = 0;
  for (int y = inner.top(); y <= inner.bottom(); ++y) {
    for (int x = inner.left(); x <= inner.right(); ++x) {
      const QRgb c = picture.image.pixel(x, y);
      if (c == kMemoColour) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      if (qBlue(c) > qRed(c) + 60 && qRed(c) < 140) ++navy;
    }
  }
  EXPECT_GT(navy, 20);
  ASSERT_LT(left, right);
  EXPECT_NEAR(left - inner.left(), inner.right() - right, 4);
  EXPECT_EQ(picture.image.pixel(inner.left(), inner.top()), kMemoColour);
}

TEST(MessageFormPicture, DeviceAlert) {
  const Picture picture = ShowAndGrab(kButtonsOk, kDeviceAlertText, kDeviceAlertId, "device_alert");
  ASSERT_EQ(picture.image.size(), QSize(334, 122));
  EXPECT_EQ(picture.image.pixel(2, 2), kFormColour);
  // Inside the group box the style's frame may tint its background a little.
  const QRgb inGroupBox = picture.image.pixel(picture.memo.left() + 4, picture.memo.top() - 4);
  EXPECT_NEAR(qRed(inGroupBox), qRed(kFormColour), 8);
  EXPECT_NEAR(qGreen(inGroupBox), qGreen(kFormColour), 8);
  EXPECT_NEAR(qBlue(inGroupBox), qBlue(kFormColour), 8);
  ExpectCentredNavyText(picture);
  ExpectGlyphsOnlyIn(picture.image, IsGreen, picture.ok);
}

TEST(MessageFormPicture, ExitQuestion) {
  const Picture picture =
      ShowAndGrab(kButtonsYesNo, kExitQuestionText, kSettingsMessageId, "exit_question");
  ASSERT_EQ(picture.image.size(), QSize(334, 122));
  ExpectCentredNavyText(picture);
  // The right-to-left reading order does not mirror the places: yes_btn stays on the right.
  EXPECT_GT(picture.yes.left(), picture.no.right());
  ExpectGlyphsOnlyIn(picture.image, IsGreen, picture.yes);
  ExpectGlyphsOnlyIn(picture.image, IsRed, picture.no);
}

}  // namespace
}  // namespace qelto
