#include "ui/win32/message_form.h"

#include <array>
#include <utility>

#include "common/texts.h"
#include "common/win32/wide_text.h"
#include "ui/message_dialog.h"
#include "ui/message_layout.h"
#include "ui/win32/button_glyphs.h"
#include "ui/win32/dialog_template.h"
#include "ui/win32/icon_resource.h"
#include "ui/win32/window_setup.h"

namespace qelto {
namespace {

// Control identifiers. The buttons carry their results, which are the system's own IDOK, IDYES
// and IDNO, so Enter on the default button ends the dialog with the right value by itself.
constexpr int kGroupBoxId = 100;
constexpr int kMemoId = 101;
constexpr int kOkId = IDOK;
constexpr int kYesId = IDYES;
constexpr int kNoId = IDNO;
static_assert(kOkId == kResultOk && kYesId == kResultYes && kNoId == kResultNo);

constexpr DWORD kFormStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
// Above every other window, the point-of-sale program's too, and with a taskbar button of its
// own: its owner, the main window, is never shown.
constexpr DWORD kFormExStyle = WS_EX_LAYOUTRTL | WS_EX_RTLREADING | WS_EX_TOPMOST | WS_EX_APPWINDOW;
// Posted at start, handled once the dialog is on screen.
constexpr UINT kBringToFrontMessage = WM_APP + 1;

// The places on screen, all relative to the form's client area: the group box's own children
// (the text field and the yes and no buttons) are shifted by the group box's place.
struct Place {
  int id;
  LayoutPlace place;
};
constexpr LayoutPlace InGroupBox(LayoutPlace place) {
  return {kGroupBoxPlace.left + place.left, kGroupBoxPlace.top + place.top, place.width,
          place.height};
}
constexpr std::array<Place, 5> kPlaces = {{
    {kGroupBoxId, kGroupBoxPlace},
    {kMemoId, InGroupBox(kMemoPlace)},
    {kYesId, InGroupBox(kYesButtonPlace)},
    {kNoId, InGroupBox(kNoButtonPlace)},
    {kOkId, kOkButtonPlace},
}};

constexpr COLORREF Colour(LayoutColour colour) {
  return RGB(colour.red, colour.green, colour.blue);
}
constexpr COLORREF kFormColour = Colour(kMessageFormColour);
constexpr COLORREF kGroupTextColour = Colour(kGroupBoxTextColour);
constexpr COLORREF kMemoBackground = Colour(kMemoColour);
constexpr COLORREF kMemoForeground = Colour(kMemoTextColour);

// The template: the controls in tab order (the group box with its text field and buttons, then
// `ok_btn`); their places are set in pixels when the dialog starts.
DialogTemplate MessageTemplate() {
  using Kind = DialogTemplate::ControlClass;
  DialogTemplate dialog(kFormStyle, kFormExStyle, L"");
  dialog.AddControl(Kind::kButton, kGroupBoxId, BS_GROUPBOX | WS_VISIBLE);
  dialog.AddControl(Kind::kEdit, kMemoId, ES_MULTILINE | ES_CENTER | ES_READONLY | WS_VISIBLE,
                    WS_EX_RTLREADING);
  dialog.AddControl(Kind::kButton, kYesId, BS_PUSHBUTTON | WS_TABSTOP);
  dialog.AddControl(Kind::kButton, kNoId, BS_PUSHBUTTON | WS_TABSTOP);
  dialog.AddControl(Kind::kButton, kOkId, BS_PUSHBUTTON | WS_TABSTOP);
  return dialog;
}

// Whether the control is meant to be seen; unlike IsWindowVisible, true already while the dialog
// itself is still hidden.
bool Shown(HWND dialog, int id) {
  return (GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

}  // namespace

Tmessage_frm::Tmessage_frm(HINSTANCE instance, std::uint16_t buttons, std::wstring text)
    : instance_(instance), buttons_(buttons), text_(std::move(text)) {}

INT_PTR Tmessage_frm::ShowModal(HWND owner) {
  const DialogTemplate dialog = MessageTemplate();
  const INT_PTR result = DialogBoxIndirectParamW(instance_, dialog.Get(), owner, DialogProc,
                                                 reinterpret_cast<LPARAM>(this));
  hwnd_ = nullptr;
  return result;
}

void Tmessage_frm::Withdraw() {
  withdrawn_ = true;
  if (hwnd_) EndDialog(hwnd_, kResultClosed);
}

INT_PTR CALLBACK Tmessage_frm::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    reinterpret_cast<Tmessage_frm*>(lParam)->hwnd_ = hwnd;
  }
  auto* form = reinterpret_cast<Tmessage_frm*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  return form ? form->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR Tmessage_frm::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetUpForm();
      SetUpControls();
      LayOut();
      FocusFirstButton();
      if (withdrawn_) EndDialog(hwnd_, kResultClosed);
      PostMessageW(hwnd_, kBringToFrontMessage, 0, 0);
      return FALSE;  // the focus is set
    case kBringToFrontMessage:
      BringToFront();
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      EndDialog(hwnd_, kResultClosed);
      return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return Colour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    default:
      return FALSE;
  }
}

void Tmessage_frm::SetUpForm() {
  dpi_ = ScreenDpi();
  fonts_ = MakeAlertFonts(dpi_);
  formBrush_.reset(CreateSolidBrush(kFormColour));
  memoBrush_.reset(CreateSolidBrush(kMemoBackground));
  checkMark_ = CheckMarkGlyph(Scale(kButtonGlyphSize));
  noEntry_ = NoEntryGlyph(Scale(kButtonGlyphSize));

  SetWindowTextW(hwnd_, WideFromUtf8(kMessageCaptionText).c_str());
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.body.get()), FALSE);
  // The application icon, shared with the program: not ours to destroy.
  HICON icon = LoadIconW(instance_, MAKEINTRESOURCEW(kApplicationIconId));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
}

void Tmessage_frm::SetUpControls() {
  auto setFont = [this](int id, HFONT font) {
    SendDlgItemMessageW(hwnd_, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  };
  setFont(kGroupBoxId, fonts_.group.get());
  setFont(kMemoId, fonts_.heading.get());
  SetDlgItemTextW(hwnd_, kMemoId, text_.c_str());

  struct Button {
    int id;
    const char* caption;
    HICON glyph;
    std::uint16_t bit;
  };
  const std::array<Button, 3> buttons = {{
      {kOkId, kOkButtonText, checkMark_.get(), kOkButton},
      {kNoId, kNoButtonText, noEntry_.get(), kNoButton},
      {kYesId, kYesButtonText, checkMark_.get(), kYesButton},
  }};
  for (const Button& button : buttons) {
    HWND control = GetDlgItem(hwnd_, button.id);
    setFont(button.id, fonts_.button.get());
    SetWindowTextW(control, WideFromUtf8(button.caption).c_str());
    SendMessageW(control, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(button.glyph));
    ShowWindow(control, (buttons_ & button.bit) != 0 ? SW_SHOW : SW_HIDE);
  }
}

void Tmessage_frm::LayOut() {
  // Mirrored: x counts from the right edge of the parent's client area.
  for (const auto& [id, place] : kPlaces) {
    MoveWindow(GetDlgItem(hwnd_, id), Scale(kMessageClientWidth - place.left - place.width),
               Scale(place.top), Scale(place.width), Scale(place.height), FALSE);
  }
  RECT frame{0, 0, Scale(kMessageClientWidth), Scale(kMessageClientHeight)};
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  SetWindowPos(hwnd_, HWND_TOPMOST, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOACTIVATE);
}

void Tmessage_frm::BringToFront() {
  // Windows gives the focus to a program in the background only when the one in front allows
  // it; otherwise the alert stays on top without the focus, and its taskbar button flashes until
  // the cashier comes to it.
  if (SetForegroundWindow(hwnd_) && GetForegroundWindow() == hwnd_) return;
  FLASHWINFO flash{sizeof flash, hwnd_, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
  FlashWindowEx(&flash);
}

void Tmessage_frm::FocusFirstButton() {
  // The designed default is `yes_btn` when shown, else `ok_btn`; the focus goes to the first shown
  // button in tab order. Enter presses the focused button.
  for (int id : {kYesId, kNoId, kOkId}) {
    if (!Shown(hwnd_, id)) continue;
    SendMessageW(hwnd_, DM_SETDEFID, static_cast<WPARAM>(id), 0);
    SetFocus(GetDlgItem(hwnd_, id));
    return;
  }
}

void Tmessage_frm::OnCommand(int id, int code) {
  switch (id) {
    case kOkId:
    case kYesId:
    case kNoId:
      // Enter with no default button arrives as IDOK: a hidden button ends nothing.
      if (Shown(hwnd_, id)) EndDialog(hwnd_, id);
      break;
    case IDCANCEL:  // Escape
      if (Shown(hwnd_, kNoId)) EndDialog(hwnd_, kNoId);
      break;
    case kMemoId:
      // The text field is no tab stop: a click into it hands the focus back to the buttons.
      if (code == EN_SETFOCUS) FocusFirstButton();
      break;
    default:
      break;
  }
}

INT_PTR Tmessage_frm::Colour(HDC dc, HWND control) {
  if (control == GetDlgItem(hwnd_, kMemoId)) {
    SetTextColor(dc, kMemoForeground);
    SetBkColor(dc, kMemoBackground);
    return reinterpret_cast<INT_PTR>(memoBrush_.get());
  }
  if (control == GetDlgItem(hwnd_, kGroupBoxId)) SetTextColor(dc, kGroupTextColour);
  SetBkColor(dc, kFormColour);
  return reinterpret_cast<INT_PTR>(formBrush_.get());
}

}  // namespace qelto
