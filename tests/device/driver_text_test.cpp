#include "device/driver_text.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstring>

#include "device/driver_info.h"

namespace qelto {
namespace {

#if defined(_WIN32)
std::size_t PageSize() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwPageSize;
}
// Two pages, the second of them inaccessible.
unsigned char* MapGuardedPages(std::size_t pageSize) {
  auto* base = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, 2 * pageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  DWORD old = 0;
  if (base != nullptr) VirtualProtect(base + pageSize, pageSize, PAGE_NOACCESS, &old);
  return base;
}
void UnmapPages(unsigned char* base, std::size_t) {
  VirtualFree(base, 0, MEM_RELEASE);
}
#else
std::size_t PageSize() {
  return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}
unsigned char* MapGuardedPages(std::size_t pageSize) {
  void* base =
      mmap(nullptr, 2 * pageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) return nullptr;
  mprotect(static_cast<unsigned char*>(base) + pageSize, pageSize, PROT_NONE);
  return static_cast<unsigned char*>(base);
}
void UnmapPages(unsigned char* base, std::size_t pageSize) {
  munmap(base, 2 * pageSize);
}
#endif

// A text placed at the very end of a readable page, followed by an inaccessible page: any read
// past the text's end faults instead of passing unnoticed.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(const void* bytes, std::size_t size) {
    pageSize_ = PageSize();
    base_ = MapGuardedPages(pageSize_);
    EXPECT_NE(base_, nullptr);
    data_ = base_ + pageSize_ - size;
    std::memcpy(data_, bytes, size);
  }
  ~GuardedBuffer() { UnmapPages(base_, pageSize_); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;
  const void* data() const { return data_; }

 private:
  std::size_t pageSize_ = 0;
  unsigned char* base_ = nullptr;
  unsigned char* data_ = nullptr;
};

TEST(ReadDriverText, EightBitTextsAreNeverReadPastTheirEnd) {
  for (const char* text :
       {"POS CID\r\nVER 1.5\r\n", "CID POS\r\nVER 3.0\r\nLine 1: connected\r\n", "PO", "XYZ", ""}) {
    SCOPED_TRACE(text);
    GuardedBuffer buffer(text, std::strlen(text) + 1);
    DriverVersionOf(buffer.data());
    ConnectedDeviceCountOf(buffer.data());
  }
}

TEST(ReadDriverText, Utf16TextsAreReadToTheirZeroUnit) {
  const std::u16string text = u"POS CID\r\nVER 2.1\r\nP\r\nD\r\nLine 1: Connected\r\n";
  GuardedBuffer buffer(text.c_str(), (text.size() + 1) * sizeof(char16_t));
  EXPECT_EQ(DriverVersionOf(buffer.data()), "+2.1");
  EXPECT_EQ(ConnectedDeviceCountOf(buffer.data()), 1);
}

TEST(ReadDriverText, OddAddressesAreRead) {
  const std::u16string text = u"POS CID\r\nVER 2.1\r\n";
  std::string bytes(1, 'x');
  bytes.append(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * 2);
  EXPECT_EQ(DriverVersionOf(bytes.data() + 1), "+2.1");
}

TEST(ReadDriverText, KindFollowsTheFirstBytes) {
  EXPECT_EQ(ReadDriverText(nullptr).kind, DriverTextKind::kEmpty);
  EXPECT_EQ(ReadDriverText("").kind, DriverTextKind::kEmpty);
  EXPECT_EQ(ReadDriverText("POS").kind, DriverTextKind::kAnsi);
  EXPECT_EQ(ReadDriverText(u"POS").kind, DriverTextKind::kUtf16);
  EXPECT_EQ(ReadDriverText(u"POS").utf16, u"POS");
}

TEST(ReadDriverText, StopsAtTheLengthLimit) {
  std::string huge(kMaxDriverTextLength + 100, 'A');
  huge.replace(0, 3, "POS");
  EXPECT_EQ(ReadDriverText(huge.c_str()).ansi.size(), kMaxDriverTextLength);
}

TEST(Utf16ToAnsi, ConvertsToUtf8) {
  EXPECT_EQ(Utf16ToAnsi(u"SLine"), "SLine");
  EXPECT_EQ(Utf16ToAnsi(u"\u062e\u0637\u0627"), "\xd8\xae\xd8\xb7\xd8\xa7");
  EXPECT_EQ(Utf16ToAnsi(u"\U0001F4DE"), "\xf0\x9f\x93\x9e");
  EXPECT_EQ(Utf16ToAnsi(std::u16string(1, char16_t(0xD800)) + u"x"), "\xef\xbf\xbdx");
}

}  // namespace
}  // namespace qelto
