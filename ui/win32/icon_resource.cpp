#include "ui/win32/icon_resource.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace qelto {
namespace {

// An .ico file: a 6-byte header (reserved, type 1, count), then one 16-byte entry per image that
// ends with the image's size and file offset. An icon resource directory, which is what the
// system's image chooser reads, has the same header and 14-byte entries that end with an
// identifier instead of the offset.
constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kFileEntrySize = 16;
constexpr std::size_t kDirectoryEntrySize = 14;
constexpr std::size_t kEntryCommonSize = 12;  // width ... bytes in image
constexpr DWORD kIconFormatVersion = 0x00030000;

template <typename T>
T Read(const BYTE* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

struct IconImage {
  const BYTE* bits = nullptr;
  DWORD size = 0;
};

IconImage ChooseImage(const BYTE* file, DWORD fileSize, int size) {
  if (fileSize < kHeaderSize) return {};
  const auto count = Read<std::uint16_t>(file + 4);
  if (count == 0 || fileSize < kHeaderSize + count * kFileEntrySize) return {};
  std::vector<BYTE> directory(kHeaderSize + count * kDirectoryEntrySize);
  std::memcpy(directory.data(), file, kHeaderSize);
  for (std::uint16_t i = 0; i < count; ++i) {
    BYTE* entry = directory.data() + kHeaderSize + i * kDirectoryEntrySize;
    std::memcpy(entry, file + kHeaderSize + i * kFileEntrySize, kEntryCommonSize);
    const auto id = static_cast<std::uint16_t>(i + 1);
    std::memcpy(entry + kEntryCommonSize, &id, sizeof id);
  }
  const int id = LookupIconIdFromDirectoryEx(directory.data(), TRUE, size, size, LR_DEFAULTCOLOR);
  if (id < 1 || id > count) return {};
  const BYTE* entry = file + kHeaderSize + static_cast<std::size_t>(id - 1) * kFileEntrySize;
  const auto bytes = Read<std::uint32_t>(entry + 8);
  const auto offset = Read<std::uint32_t>(entry + 12);
  if (offset > fileSize || bytes > fileSize - offset) return {};
  return {file + offset, bytes};
}

}  // namespace

IconHandle LoadApplicationIcon(HINSTANCE instance, int size) {
  return IconHandle(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kApplicationIconId),
                                                  IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

IconHandle LoadIconFileResource(HINSTANCE instance, const wchar_t* name, int size) {
  HRSRC resource = FindResourceW(instance, name, MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (resource == nullptr) return nullptr;
  HGLOBAL loaded = LoadResource(instance, resource);
  const auto* file = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
  if (file == nullptr) return nullptr;
  const IconImage image = ChooseImage(file, SizeofResource(instance, resource), size);
  if (image.bits == nullptr) return nullptr;
  return IconHandle(CreateIconFromResourceEx(const_cast<BYTE*>(image.bits), image.size, TRUE,
                                             kIconFormatVersion, size, size, LR_DEFAULTCOLOR));
}

}  // namespace qelto
