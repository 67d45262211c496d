#include <nettle/md5.h>

#include <array>

#include "drivers/pbx/md5.h"

namespace qelto::cidr {

std::string Md5Hex(std::string_view bytes) {
  md5_ctx context{};
  md5_init(&context);
  md5_update(&context, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
  std::array<std::uint8_t, MD5_DIGEST_SIZE> digest{};
  md5_digest(&context, digest.size(), digest.data());
  constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t byte : digest) {
    text += kHex[byte >> 4U];
    text += kHex[byte & 0x0FU];
  }
  return text;
}

}  // namespace qelto::cidr
