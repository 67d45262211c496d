#include "ui/win32/status_window.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "common/win32/wide_text.h"
#include "ui/message_layout.h"
#include "ui/win32/window_setup.h"

namespace qelto {
namespace {

constexpr wchar_t kClassName[] = L"QeltoStatusWindow";
constexpr int kReportButtonId = 1;
constexpr int kReportTextId = 2;

// Pixels at 96 dpi.
constexpr int kClientWidth = 620;
constexpr int kClientHeight = 600;
constexpr int kMinimumWidth = 420;
constexpr int kMinimumHeight = 380;
constexpr int kMargin = 8;
constexpr int kHeadingHeight = 22;
constexpr int kButtonWidth = 190;
constexpr int kButtonHeight = 29;
constexpr int kReportTextHeight = 50;    // three lines: the outcome, the path, the reason
constexpr int kMinimumCallsHeight = 90;  // the table's header and three rows
constexpr int kLabelColumnWidth = 200;
// The calls' columns but the last, which takes the rest: time, line, number.
constexpr int kCallColumnWidths[] = {150, 50, 130};

constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;
// Mirrored: the window and every control in it read from the right.
constexpr DWORD kExStyle = WS_EX_LAYOUTRTL | WS_EX_APPWINDOW;

constexpr COLORREF kBackground =
    RGB(kMessageFormColour.red, kMessageFormColour.green, kMessageFormColour.blue);

COLORREF ToneColour(RowTone tone) {
  switch (tone) {
    case RowTone::kGood:
      return RGB(0, 112, 0);
    case RowTone::kBad:
      return RGB(192, 0, 0);
    case RowTone::kPlain:
      break;
  }
  return GetSysColor(COLOR_WINDOWTEXT);
}

// A text without a Persian or Arabic letter: a path, a server's name, a time. The list would lay
// it out right to left, moving its leading and trailing dots and backslashes to the other end
// (".\\SQLEXPRESS" shown as "\\SQLEXPRESS."); it is drawn left to right instead. (Direction
// marks would do it on Windows, but Wine's list draws them as boxes.)
bool LeftToRight(const std::wstring& text) {
  return std::none_of(text.begin(), text.end(), [](wchar_t c) {
    return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFEFC);
  });
}

std::wstring ItemText(HWND list, int row, int column) {
  wchar_t buffer[512] = {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = static_cast<int>(std::size(buffer));
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return buffer;
}

std::vector<std::vector<std::wstring>> ListRows(HWND list, int columns) {
  std::vector<std::vector<std::wstring>> rows;
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    std::vector<std::wstring>& texts = rows.emplace_back();
    for (int column = 0; column < columns; ++column) texts.push_back(ItemText(list, row, column));
  }
  return rows;
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

WinStatusWindow::WinStatusWindow(HINSTANCE instance, ReportAction report, int dpi)
    : instance_(instance), report_(std::move(report)), dpi_(dpi > 0 ? dpi : ScreenDpi()) {}

WinStatusWindow::~WinStatusWindow() {
  if (hwnd_) DestroyWindow(hwnd_);
}

void WinStatusWindow::Show(const StatusView& view) {
  if (!hwnd_) Make();
  if (!hwnd_) return;
  Fill(view);
  ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(hwnd_);
  SetFocus(IsWindowVisible(callsList_) ? callsList_ : statusList_);
}

void WinStatusWindow::Refresh(const StatusView& view) {
  if (Visible()) Fill(view);
}

void WinStatusWindow::Hide() {
  if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

bool WinStatusWindow::Visible() const {
  return hwnd_ != nullptr && IsWindowVisible(hwnd_);
}

void WinStatusWindow::PressReport() {
  if (!hwnd_ || !report_) return;
  // A second press while one report is written (a click inside a modal loop the action opens)
  // waits for the first.
  // Disabled, the button loses the keys: they come back to it after, so that Escape and Tab
  // still work from it.
  const bool hadKeys = GetFocus() == reportButton_;
  EnableWindow(reportButton_, FALSE);
  const std::string result = report_();
  EnableWindow(reportButton_, TRUE);
  if (hadKeys && hwnd_) SetFocus(reportButton_);
  SetWindowTextW(reportText_, WideFromUtf8(result).c_str());
  InvalidateRect(reportText_, nullptr, TRUE);
}

std::vector<std::vector<std::wstring>> WinStatusWindow::StatusRows() const {
  return hwnd_ ? ListRows(statusList_, 2) : std::vector<std::vector<std::wstring>>{};
}

std::vector<std::vector<std::wstring>> WinStatusWindow::CallRows() const {
  return hwnd_ ? ListRows(callsList_, 4) : std::vector<std::vector<std::wstring>>{};
}

std::wstring WinStatusWindow::ReportText() const {
  return hwnd_ ? WindowText(reportText_) : std::wstring();
}

void WinStatusWindow::Make() {
  RegisterWindowClassOnce(instance_, kClassName, WindowProc);
  fonts_ = MakeAlertFonts(dpi_);
  background_.reset(CreateSolidBrush(kBackground));
  // Centred on the screen's work area, and no larger than it: 150 % of the designed size is
  // taller than a 768-pixel screen.
  RECT frame{0, 0, Scale(kClientWidth), Scale(kClientHeight)};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  RECT work{0, 0, 1024, 768};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int width = std::min<LONG>(frame.right - frame.left, work.right - work.left);
  const int height = std::min<LONG>(frame.bottom - frame.top, work.bottom - work.top);
  CreateWindowExW(kExStyle, kClassName, L"", kStyle,
                  work.left + (work.right - work.left - width) / 2,
                  work.top + (work.bottom - work.top - height) / 2, width, height, nullptr, nullptr,
                  instance_, this);
  if (!hwnd_) return;
  MakeControls();
  LayOut();
}

void WinStatusWindow::MakeControls() {
  auto control = [this](DWORD exStyle, const wchar_t* kind, DWORD style, int id, HFONT font) {
    HWND made =
        CreateWindowExW(exStyle, kind, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    SendMessageW(made, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return made;
  };
  const DWORD listStyle = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP;
  statusList_ =
      control(WS_EX_CLIENTEDGE, WC_LISTVIEWW, listStyle | LVS_NOCOLUMNHEADER, 0, fonts_.body.get());
  callsHeading_ = control(0, L"STATIC", SS_LEFT | SS_NOPREFIX, 0, fonts_.heading.get());
  callsList_ = control(WS_EX_CLIENTEDGE, WC_LISTVIEWW, listStyle, 0, fonts_.body.get());
  noCalls_ = control(0, L"STATIC", SS_CENTER | SS_NOPREFIX, 0, fonts_.body.get());
  reportButton_ =
      control(0, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, kReportButtonId, fonts_.button.get());
  // Drawn line by line (see DrawReportText): a static reads its whole text left to right, which
  // puts the Persian line's colon at its start.
  reportText_ = control(0, L"STATIC", SS_OWNERDRAW, kReportTextId, fonts_.body.get());
  for (HWND list : {statusList_, callsList_}) {
    // Not double-buffered: Wine mirrors the buffer of a right-to-left list once more, which
    // draws every letter back to front.
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
  }
  SetColumns(statusList_, {L"", L""}, false);
  // Tab and Escape are the controls' own keys here: the window is no dialog, and an alert's modal
  // loop, which serves it while the alert waits, takes dialog keys for the alert alone.
  for (HWND tabStop : {statusList_, callsList_, reportButton_}) {
    SetWindowSubclass(tabStop, ControlProc, 0, reinterpret_cast<DWORD_PTR>(this));
  }
}

LRESULT CALLBACK WinStatusWindow::ControlProc(HWND control, UINT message, WPARAM wParam,
                                              LPARAM lParam, UINT_PTR id, DWORD_PTR data) {
  auto* window = reinterpret_cast<WinStatusWindow*>(data);
  switch (message) {
    case WM_KEYDOWN:
      if (wParam == VK_TAB) {
        window->MoveFocus(control, GetKeyState(VK_SHIFT) < 0);
        return 0;
      }
      if (wParam == VK_ESCAPE) {
        window->Hide();
        return 0;
      }
      if (wParam == VK_RETURN && control == window->reportButton_) {
        window->PressReport();
        return 0;
      }
      break;
    case WM_CHAR:
      // Already handled as keys: no beep, no search in the list.
      if (wParam == L'\t' || wParam == 0x1B || wParam == L'\r') return 0;
      break;
    case WM_SETFOCUS:
      window->focus_ = control;
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(control, ControlProc, id);
      break;
    default:
      break;
  }
  return DefSubclassProc(control, message, wParam, lParam);
}

void WinStatusWindow::MoveFocus(HWND from, bool backwards) {
  // In the order the controls were made: the status list, the calls (while there are any), the
  // report's button; round again after the last.
  if (HWND next = GetNextDlgTabItem(hwnd_, from, backwards ? TRUE : FALSE)) SetFocus(next);
}

void WinStatusWindow::SetColumns(HWND list, const std::vector<std::wstring>& titles, bool header) {
  while (SendMessageW(list, LVM_DELETECOLUMN, 0, 0)) {
  }
  for (std::size_t i = 0; i < titles.size(); ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(titles[i].c_str());
    column.iSubItem = static_cast<int>(i);
    column.cx = Scale(header && i < std::size(kCallColumnWidths) ? kCallColumnWidths[i]
                                                                 : kLabelColumnWidth);
    SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
}

void WinStatusWindow::LayOut() {
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int width = client.right - Scale(2 * kMargin);
  const int left = Scale(kMargin);
  const int bottomRow = client.bottom - Scale(kMargin + kReportTextHeight);
  const int listsHeight = bottomRow - Scale(2 * kMargin + kHeadingHeight);
  // The status list takes its share, or more as its rows need, down to a few rows of calls: at
  // 150 % on a small screen every status row stays in sight and the calls scroll.
  const int statusHeight =
      std::max(listsHeight * 11 / 20,
               std::min(StatusRowsHeight(), listsHeight - Scale(kMargin + kMinimumCallsHeight)));
  const int callsTop = Scale(kMargin) + statusHeight + Scale(kMargin);
  const int callsListTop = callsTop + Scale(kHeadingHeight);
  const int callsHeight = bottomRow - Scale(kMargin) - callsListTop;

  MoveWindow(statusList_, left, Scale(kMargin), width, statusHeight, TRUE);
  MoveWindow(callsHeading_, left, callsTop, width, Scale(kHeadingHeight), TRUE);
  MoveWindow(callsList_, left, callsListTop, width, callsHeight, TRUE);
  MoveWindow(noCalls_, left + Scale(kMargin), callsListTop + callsHeight / 2 - Scale(10),
             width - Scale(2 * kMargin), Scale(20), TRUE);
  const int buttonTop = bottomRow + (Scale(kReportTextHeight) - Scale(kButtonHeight)) / 2;
  const int buttonWidth = ButtonWidth();
  MoveWindow(reportButton_, left, buttonTop, buttonWidth, Scale(kButtonHeight), TRUE);
  const int textLeft = left + buttonWidth + Scale(kMargin);
  MoveWindow(reportText_, textLeft, bottomRow, client.right - Scale(kMargin) - textLeft,
             Scale(kReportTextHeight), TRUE);
  // The value column takes what the label column leaves.
  RECT listClient{};
  GetClientRect(statusList_, &listClient);
  SendMessageW(statusList_, LVM_SETCOLUMNWIDTH, 1,
               std::max<LPARAM>(Scale(60), listClient.right - Scale(kLabelColumnWidth)));
  GetClientRect(callsList_, &listClient);
  int used = 0;
  for (int column : kCallColumnWidths) used += Scale(column);
  SendMessageW(callsList_, LVM_SETCOLUMNWIDTH, std::size(kCallColumnWidths),
               std::max<LPARAM>(Scale(60), listClient.right - used));
}

int WinStatusWindow::ButtonWidth() const {
  // As wide as its text needs, with room on both sides: the alerts' bold face is wider under
  // another font than the one asked for (Wine's stand-in for Nazanin), at 150 % too.
  const std::wstring text = WindowText(reportButton_);
  SIZE size{};
  if (HDC dc = GetDC(reportButton_)) {
    HGDIOBJ old = SelectObject(dc, fonts_.button.get());
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(reportButton_, dc);
  }
  return std::max<int>(Scale(kButtonWidth), size.cx + Scale(4 * kMargin));
}

int WinStatusWindow::StatusRowsHeight() const {
  const std::size_t rows = status_.rows.size();
  RECT row{};
  row.left = LVIR_BOUNDS;
  if (rows == 0 || !SendMessageW(statusList_, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row))) {
    return 0;
  }
  RECT frame{}, client{};
  GetWindowRect(statusList_, &frame);
  GetClientRect(statusList_, &client);
  const int border = (frame.bottom - frame.top) - client.bottom;
  return static_cast<int>(rows) * (row.bottom - row.top) + border;
}

void WinStatusWindow::Fill(const StatusView& view) {
  SetWindowTextW(hwnd_, WideFromUtf8(view.title).c_str());
  const std::wstring button = WideFromUtf8(view.reportButton);
  const bool buttonChanged = WindowText(reportButton_) != button;
  SetWindowTextW(reportButton_, button.c_str());
  SetWindowTextW(callsHeading_, WideFromUtf8(view.callsHeading).c_str());
  SetWindowTextW(noCalls_, WideFromUtf8(view.noCallsText).c_str());

  ListContent status;
  auto section = [&status](const std::string& heading, const std::vector<StatusRow>& rows) {
    status.rows.push_back({WideFromUtf8(heading), L""});
    status.tones.push_back(RowTone::kPlain);
    status.headings.push_back(true);
    for (const StatusRow& row : rows) {
      status.rows.push_back({WideFromUtf8(row.label), WideFromUtf8(row.value)});
      status.tones.push_back(row.tone);
      status.headings.push_back(false);
    }
  };
  section(view.databaseHeading, view.database);
  section(view.devicesHeading, view.devices);
  const std::size_t statusRows = status_.rows.size();
  Sync(statusList_, status_, std::move(status));
  if (buttonChanged || status_.rows.size() != statusRows) LayOut();

  std::wstring columns;
  std::vector<std::wstring> titles;
  for (const std::string& title : view.callColumns) {
    titles.push_back(WideFromUtf8(title));
    columns += titles.back() + L'\n';
  }
  if (columns != callColumns_) {
    callColumns_ = columns;
    SetColumns(callsList_, titles, true);
    calls_ = {};
    SendMessageW(callsList_, LVM_DELETEALLITEMS, 0, 0);
    LayOut();
  }
  ListContent calls;
  for (const CallRow& row : view.calls) {
    calls.rows.push_back({WideFromUtf8(row.time), WideFromUtf8(row.line), WideFromUtf8(row.number),
                          WideFromUtf8(row.state)});
    calls.tones.push_back(row.tone);
    calls.headings.push_back(false);
  }
  const bool none = calls.rows.empty();
  Sync(callsList_, calls_, std::move(calls));
  ShowWindow(callsList_, none ? SW_HIDE : SW_SHOW);
  ShowWindow(noCalls_, none ? SW_SHOW : SW_HIDE);
}

void WinStatusWindow::Sync(HWND list, ListContent& shown, ListContent wanted) {
  // Changed in place, row by row: a refresh every half second keeps the operator's selection
  // and scroll position, and does not flicker.
  const std::size_t count = wanted.rows.size();
  if (shown.rows == wanted.rows && shown.tones == wanted.tones &&
      shown.headings == wanted.headings) {
    return;  // the usual tick: nothing changed
  }
  // Painted once, after the whole change: row by row, 50 calls cost Wine a tenth of a second.
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  while (shown.rows.size() > count) {
    SendMessageW(list, LVM_DELETEITEM, shown.rows.size() - 1, 0);
    shown.rows.pop_back();
  }
  while (shown.rows.size() < count) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(shown.rows.size());
    item.pszText = const_cast<wchar_t*>(L"");
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    shown.rows.emplace_back();
  }
  for (std::size_t row = 0; row < count; ++row) {
    std::vector<std::wstring>& now = shown.rows[row];
    const std::vector<std::wstring>& next = wanted.rows[row];
    now.resize(next.size());
    for (std::size_t column = 0; column < next.size(); ++column) {
      if (now[column] == next[column]) continue;
      now[column] = next[column];
      LVITEMW item{};
      item.iSubItem = static_cast<int>(column);
      item.pszText = const_cast<wchar_t*>(now[column].c_str());
      SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    }
  }
  shown.tones = std::move(wanted.tones);
  shown.headings = std::move(wanted.headings);
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

LRESULT WinStatusWindow::CustomDraw(NMLVCUSTOMDRAW& draw) {
  const ListContent& content = draw.nmcd.hdr.hwndFrom == statusList_ ? status_ : calls_;
  const std::size_t row = draw.nmcd.dwItemSpec;
  switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      if (row >= content.tones.size()) return CDRF_DODEFAULT;
      if (!content.headings[row]) return CDRF_NOTIFYSUBITEMDRAW;
      SelectObject(draw.nmcd.hdc, fonts_.heading.get());
      return CDRF_NEWFONT;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
      if (row >= content.tones.size()) return CDRF_DODEFAULT;
      draw.clrText = ToneColour(content.tones[row]);
      const std::size_t column = static_cast<std::size_t>(draw.iSubItem);
      const std::vector<std::wstring>& texts = content.rows[row];
      if (column >= texts.size() || !LeftToRight(texts[column])) return CDRF_DODEFAULT;
      DrawLeftToRight(draw, texts[column]);
      return CDRF_SKIPDEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

void WinStatusWindow::DrawReportText(const DRAWITEMSTRUCT& draw) {
  HDC dc = draw.hDC;
  FillRect(dc, &draw.rcItem, background_.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  HGDIOBJ old = SelectObject(dc, fonts_.body.get());
  // Each line on its own: the Persian read right to left, a path or the system's message left to
  // right (its closing dot kept at its end); each from the right, where the window's lines start.
  const std::wstring text = WindowText(reportText_);
  RECT line = draw.rcItem;
  for (std::size_t from = 0; from <= text.size() && line.top < line.bottom;) {
    std::size_t end = text.find(L'\n', from);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring piece = text.substr(from, end - from);
    RECT place = line;
    // Read right to left, a Persian line keeps its colon at its end, on the left.
    const UINT format =
        DT_LEFT | DT_NOPREFIX | DT_WORDBREAK | (LeftToRight(piece) ? 0 : DT_RTLREADING);
    DrawTextW(dc, piece.c_str(), static_cast<int>(piece.size()), &place, format | DT_CALCRECT);
    place.left = line.left;
    place.right = line.right;
    DrawTextW(dc, piece.c_str(), static_cast<int>(piece.size()), &place, format);
    line.top = place.bottom;
    from = end + 1;
  }
  SelectObject(dc, old);
}

void WinStatusWindow::DrawLeftToRight(const NMLVCUSTOMDRAW& draw, const std::wstring& text) {
  HWND list = draw.nmcd.hdr.hwndFrom;
  const int row = static_cast<int>(draw.nmcd.dwItemSpec);
  RECT place{};
  place.top = draw.iSubItem;
  place.left = draw.iSubItem == 0 ? LVIR_LABEL : LVIR_BOUNDS;
  SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
               reinterpret_cast<LPARAM>(&place));
  const bool selected =
      (SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) &
       LVIS_SELECTED) != 0 &&
      GetFocus() == list;
  HDC dc = draw.nmcd.hdc;
  FillRect(dc, &place, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetTextColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : draw.clrText);
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ old = SelectObject(dc, fonts_.body.get());
  // The list's own margin on the side the column starts (the right, in the mirrored list).
  place.left += Scale(6);
  place.right -= Scale(6);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &place,
            DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  SelectObject(dc, old);
}

LRESULT CALLBACK WinStatusWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* window =
        static_cast<WinStatusWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    window->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  }
  auto* window = reinterpret_cast<WinStatusWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    window->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return window->OnMessage(message, wParam, lParam);
}

LRESULT WinStatusWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      Hide();
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) Hide();
      return 0;
    case WM_SETFOCUS:
      // Activated again (its title bar clicked): the control that had the keys has them again.
      SetFocus(focus_ != nullptr && IsWindowVisible(focus_) ? focus_ : statusList_);
      return 0;
    case WM_SIZE:
      if (statusList_) LayOut();
      return 0;
    case WM_GETMINMAXINFO: {
      RECT frame{0, 0, Scale(kMinimumWidth), Scale(kMinimumHeight)};
      AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == kReportButtonId && HIWORD(wParam) == BN_CLICKED) PressReport();
      return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->code == NM_CUSTOMDRAW &&
          (header->hwndFrom == statusList_ || header->hwndFrom == callsList_)) {
        return CustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
      }
      return 0;
    }
    case WM_DRAWITEM:
      if (wParam == kReportTextId) {
        DrawReportText(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return TRUE;
      }
      return FALSE;
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wParam), kBackground);
      return reinterpret_cast<LRESULT>(background_.get());
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(hwnd_, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, background_.get());
      return 1;
    }
    default:
      return DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

}  // namespace qelto
