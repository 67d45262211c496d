// The support report's Windows side against real files: what it reads of the working folder, and
// what it writes there.

#include "app/win32/win_support_report.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

#include "common/win32/wide_text.h"
#include "support/temp_dir.h"
#include "ui/status_view.h"

namespace qelto {
namespace {

using testing_support::TempDir;

std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(WinSupportReport, TakesTheLogsEndAndTellsTheSystem) {
  TempDir dir;
  std::string log;
  // Over the 256 KiB read of a log that may reach 10 MB: its start is left out, its end kept.
  for (int line = 1; line <= 20000; ++line) {
    log += "2026-12-10 11:29:22 - line " + std::to_string(line) + "\r\n";
  }
  std::ofstream(dir.path() / "log.txt", std::ios::binary) << log;

  const SupportFacts facts = WindowsSupportFacts(dir.path().string());
  EXPECT_EQ(facts.workingFolder, dir.path().string());
  EXPECT_FALSE(facts.version.empty());
  EXPECT_EQ(facts.build.rfind("Windows ", 0), 0u) << facts.build;
  EXPECT_EQ(facts.system.rfind("Windows ", 0), 0u) << facts.system;
  EXPECT_NE(facts.driverPath.find("POS_CIDR.dll"), std::string::npos);
  EXPECT_LE(facts.logText.size(), 256u * 1024);
  EXPECT_GT(facts.logText.size(), 200u * 40);
  EXPECT_EQ(facts.logText.find("line 1\r\n"), std::string::npos);
  EXPECT_NE(facts.logText.find("line 20000\r\n"), std::string::npos);
}

// Another program keeps the clipboard open (a clipboard manager, a remote desktop) while it lives.
class ClipboardHolder {
 public:
  ClipboardHolder() {
    std::promise<void> opened;
    std::future<void> isOpen = opened.get_future();
    thread_ = std::thread([this, &opened] {
      // By a window of its own: the clipboard refuses another window, not another thread.
      HWND holder = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
      const bool open = holder != nullptr && OpenClipboard(holder) != 0;
      held_ = open;
      opened.set_value();
      if (open) {
        released_.get_future().wait();
        CloseClipboard();
      }
      if (holder) DestroyWindow(holder);
    });
    isOpen.wait();
  }
  ~ClipboardHolder() {
    released_.set_value();
    thread_.join();
  }
  ClipboardHolder(const ClipboardHolder&) = delete;
  ClipboardHolder& operator=(const ClipboardHolder&) = delete;
  // False without a window station (Wine without a display): no window, no clipboard.
  bool held() const { return held_; }

 private:
  bool held_ = false;  // written before the constructor's wait ends
  std::promise<void> released_;
  std::thread thread_;
};

TEST(WinSupportReport, IsWrittenForNotepadOrSaysWhyNot) {
  TempDir dir;
  enum class Outcome { kCopied, kNotCopied, kNotWritten };
  struct Case {
    const char* name;
    std::string folder;
    bool clipboardHeld;
    Outcome outcome;
  };
  const Case cases[] = {
      {"working folder", dir.path().string(), false, Outcome::kCopied},
      {"clipboard held by another program", dir.path().string(), true, Outcome::kNotCopied},
      {"folder gone", (dir.path() / "gone").string(), false, Outcome::kNotWritten},
  };
  const std::string report = "QELTO Caller ID - support report\r\nگزارش\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.folder + "\\support-report.txt";
    std::optional<ClipboardHolder> holder;
    if (c.clipboardHeld) {
      holder.emplace();
      if (!holder->held()) {
        std::printf("SKIPPED: %s: no window to hold the clipboard with\n", c.name);
        continue;
      }
    }
    const std::string shown = SaveSupportReport(nullptr, report, c.folder);
    holder.reset();
    if (c.outcome != Outcome::kNotWritten) {
      // Marked as UTF-8: Notepad of Windows 7 reads the Persian lines right only so.
      EXPECT_EQ(Read(path), "\xEF\xBB\xBF" + report);
      const std::string expected =
          c.outcome == Outcome::kCopied ? ReportWrittenText(path) : ReportNotCopiedText(path, "");
      EXPECT_EQ(shown.rfind(expected, 0), 0u) << shown;
      if (c.outcome == Outcome::kNotCopied) {
        EXPECT_GT(shown.size(), expected.size()) << "no reason given";
      }
    } else {
      EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(WideFromUtf8(path))));
      EXPECT_EQ(shown.rfind(ReportFailedText(path, ""), 0), 0u) << shown;
    }
  }
}

}  // namespace
}  // namespace qelto
