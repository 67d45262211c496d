// qelto-status-window.exe: looks into the recorder's status window from outside, as a technician
// sees it, for the end-to-end tests.
//
//   qelto-status-window.exe read    prints "visible 1" or "visible 0", then every list's rows
//                                   ("list N" before each list, one row a line, its columns
//                                   joined by " | "), then each text shown ("text ..."), in UTF-8
//   qelto-status-window.exe report  presses the support report's button
//   qelto-status-window.exe close   asks the window to close, as its close box does
//   qelto-status-window.exe clipboard  prints the clipboard's Unicode text, in UTF-8
//
// Exit code: 0 done, 1 no status window, 2 a usage error or a failure to read the other process.

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kClassName[] = L"QeltoStatusWindow";

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM found) {
  reinterpret_cast<std::vector<HWND>*>(found)->push_back(child);
  return TRUE;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// The text of one cell, read through memory of the window's own process: a list answers only
// with pointers into its own address space.
class RemoteItem {
 public:
  explicit RemoteItem(HWND list) {
    DWORD process = 0;
    GetWindowThreadProcessId(list, &process);
    process_ =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
    if (process_) {
      memory_ = VirtualAllocEx(process_, nullptr, kBytes, MEM_COMMIT, PAGE_READWRITE);
    }
  }
  ~RemoteItem() {
    if (memory_) VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  RemoteItem(const RemoteItem&) = delete;
  RemoteItem& operator=(const RemoteItem&) = delete;
  bool ok() const { return memory_ != nullptr; }

  std::wstring Text(HWND list, int row, int column) {
    LVITEMW item{};
    item.iSubItem = column;
    item.cchTextMax = kChars;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(memory_) + sizeof item);
    SIZE_T moved = 0;
    if (!WriteProcessMemory(process_, memory_, &item, sizeof item, &moved)) return {};
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(memory_));
    std::vector<wchar_t> text(kChars + 1, L'\0');
    ReadProcessMemory(process_, item.pszText, text.data(), kChars * sizeof(wchar_t), &moved);
    return text.data();
  }

 private:
  static constexpr int kChars = 512;
  static constexpr SIZE_T kBytes = sizeof(LVITEMW) + (kChars + 1) * sizeof(wchar_t);
  HANDLE process_ = nullptr;
  void* memory_ = nullptr;
};

int Read(HWND window, const std::vector<HWND>& children) {
  std::printf("visible %d\n", IsWindowVisible(window) ? 1 : 0);
  int lists = 0;
  for (HWND child : children) {
    if (ClassOf(child) != WC_LISTVIEWW) continue;
    RemoteItem item(child);
    if (!item.ok()) return 2;
    HWND header = reinterpret_cast<HWND>(SendMessageW(child, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
    const int rows = static_cast<int>(SendMessageW(child, LVM_GETITEMCOUNT, 0, 0));
    std::printf("list %d\n", ++lists);
    for (int row = 0; row < rows; ++row) {
      std::string line;
      for (int column = 0; column < columns; ++column) {
        if (column > 0) line += " | ";
        line += Utf8(item.Text(child, row, column));
      }
      std::printf("%s\n", line.c_str());
    }
  }
  for (HWND child : children) {
    if (ClassOf(child) != L"Static" && ClassOf(child) != L"STATIC") continue;
    wchar_t text[1024] = {};
    GetWindowTextW(child, text, 1024);
    std::printf("text %s\n", Utf8(text).c_str());
  }
  return 0;
}

int PressReport(const std::vector<HWND>& children) {
  for (HWND child : children) {
    if (ClassOf(child) == L"Button" || ClassOf(child) == L"BUTTON") {
      PostMessageW(child, BM_CLICK, 0, 0);
      return 0;
    }
  }
  return 1;
}

int PrintClipboard() {
  if (!OpenClipboard(nullptr)) return 2;
  int status = 1;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
      std::printf("%s", Utf8(text).c_str());
      GlobalUnlock(data);
      status = 0;
    }
  }
  CloseClipboard();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  if (std::strcmp(argv[1], "clipboard") == 0) return PrintClipboard();
  HWND window = FindWindowW(kClassName, nullptr);
  if (window == nullptr) return 1;
  std::vector<HWND> children;
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
  if (std::strcmp(argv[1], "read") == 0) return Read(window, children);
  if (std::strcmp(argv[1], "report") == 0) return PressReport(children);
  if (std::strcmp(argv[1], "close") == 0) return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 2;
  return 2;
}
