#pragma once

// The recorder's own texts, in UTF-8. The Persian texts are kept exactly as the shop's staff
// know them (with Arabic yeh and keheh), so do not "correct" their letters.

namespace qelto {

// Start-up box: the device driver is not installed.
inline constexpr const char* kDriverNotInstalledText = "درايور دستگاه نصب نشده است";
// Start-up box: the device driver is not up to date.
inline constexpr const char* kDriverOutdatedText = "درايور دستگاه بروز نيست";
// Start-up box: no folder for the log and the calls can be written.
inline constexpr const char* kNoWritableFolderText =
    "پوشه اي براي گزارش و تماس هاي برنامه قابل نوشتن نيست";
// Exit question: do you want to leave the program?
inline constexpr const char* kExitQuestionText = "ايا مايل به خروج از برنامه هستيد؟";
// Settings alert: fault in the program settings.
inline constexpr const char* kSettingsAlertText = "نقص در تنظيمات برنامه";
// Database alert: error in the connection to the database.
inline constexpr const char* kDatabaseAlertText = "خطا در ارتباط با بانک اطلاعاتي";
// Device alert: problem in the connection of the caller-ID device.
inline constexpr const char* kDeviceAlertText = "مشکل در اتصال دستگاه کالرآيدي";
// Tray tip while a call waits too long: calls not written, and the wait in minutes, each before
// its number.
inline constexpr const char* kCallsNotWrittenTipText = "تماس هاي ثبت نشده";
inline constexpr const char* kWaitMinutesTipText = "مدت انتظار به دقيقه";
// Tray menu item above "EXIT": status; it opens the status window, which bears it as its title.
inline constexpr const char* kStatusMenuText = "وضعيت";
// Status window button: report for support.
inline constexpr const char* kSupportReportButtonText = "گزارش براي پشتيباني";
// Message dialog caption: message.
inline constexpr const char* kMessageCaptionText = "پيغام";
// Message dialog buttons: confirm, yes, no.
inline constexpr const char* kOkButtonText = "تاييد";
inline constexpr const char* kYesButtonText = "بله";
inline constexpr const char* kNoButtonText = "خير";

inline constexpr const char* kApplicationTitle = "QELTO Caller ID";
inline constexpr const char* kStartupBoxCaption = "Error";
inline constexpr const char* kApplicationStartedText = "Application Started!";
inline constexpr const char* kApplicationClosedText = "Application Closed";
// Name of the single-instance guard shared by every copy of the recorder.
inline constexpr const char* kInstanceName = "Vandrel CallerID";

}  // namespace qelto
