#include "drivers/win32/plain_file.h"

#include "common/win32/system_error_text.h"
#include "common/win32/wide_text.h"

namespace qelto::cidr {
namespace {

constexpr DWORD kOtherAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;

const char* AttributeKind(DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return "a symbolic link or junction";
  return "a folder";
}

const char* TypeKind(DWORD type) {
  if (type == FILE_TYPE_PIPE) return "a pipe";
  if (type == FILE_TYPE_CHAR) return "a device";
  return "no file on a disk";
}

std::string NotAFile(const char* kind) {
  return std::string("it is ") + kind + ", not a regular file";
}

}  // namespace

UniqueHandle OpenPlainFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                           std::string& problem) {
  const std::wstring wide = WideFromUtf8(path);
  // A folder is not opened at all without backup semantics, and would only say "access denied".
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kOtherAttributes) != 0) {
    problem = NotAFile(AttributeKind(attributes));
    SetLastError(ERROR_INVALID_PARAMETER);
    return UniqueHandle();
  }
  UniqueHandle file(CreateFileW(wide.c_str(), access, share, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    problem = SystemErrorText(GetLastError());
    return file;
  }
  const DWORD type = GetFileType(file.get());
  BY_HANDLE_FILE_INFORMATION info{};
  if (type != FILE_TYPE_DISK) {
    problem = NotAFile(TypeKind(type));
    file.reset();
  } else if (!GetFileInformationByHandle(file.get(), &info) ||
             (info.dwFileAttributes & kOtherAttributes) != 0) {
    problem = NotAFile(AttributeKind(info.dwFileAttributes));
    file.reset();
  }
  if (!file) SetLastError(ERROR_INVALID_PARAMETER);
  return file;
}

}  // namespace qelto::cidr
