#include "device/driver_text.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "device/driver_info.h"

namespace qelto {
namespace {

// A text placed at the very end of a readable page, followed by an inaccessible page: any read
// past the text's end faults instead of passing unnoticed.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(const void* bytes, std::size_t size) {
    pageSize_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    base_ = static_cast<unsigned char*>(
        mmap(nullptr, 2 * pageSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    EXPECT_NE(base_, MAP_FAILED);
    mprotect(base_ + pageSize_, pageSize_, PROT_NONE);
    data_ = base_ + pageSize_ - size;
    std::memcpy(data_, bytes, size);
  }
  ~GuardedBuffer() { munmap(base_, 2 * pageSize_); }
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
