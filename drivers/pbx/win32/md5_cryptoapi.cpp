#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <array>

#include "drivers/pbx/md5.h"

namespace qelto::cidr {
namespace {

// Releases the provider and the hash object of one digest.
struct Md5Context {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  ~Md5Context() {
    if (hash != 0) CryptDestroyHash(hash);
    if (provider != 0) CryptReleaseContext(provider, 0);
  }
};

}  // namespace

// Empty when Windows cannot make the digest: the login then fails and says so.
std::string Md5Hex(std::string_view bytes) {
  Md5Context context;
  std::array<BYTE, 16> digest{};
  DWORD length = digest.size();
  if (!CryptAcquireContextW(&context.provider, nullptr, nullptr, PROV_RSA_FULL,
                            CRYPT_VERIFYCONTEXT) ||
      !CryptCreateHash(context.provider, CALG_MD5, 0, 0, &context.hash) ||
      !CryptHashData(context.hash, reinterpret_cast<const BYTE*>(bytes.data()),
                     static_cast<DWORD>(bytes.size()), 0) ||
      !CryptGetHashParam(context.hash, HP_HASHVAL, digest.data(), &length, 0) || length != 16) {
    return {};
  }
  constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const BYTE byte : digest) {
    text += kHex[byte >> 4U];
    text += kHex[byte & 0x0FU];
  }
  return text;
}

}  // namespace qelto::cidr
