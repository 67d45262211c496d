#include "recording/connection_string_value.h"

namespace qelto {
namespace {

// Blanks and control characters; the provider trims them around an unquoted value.
bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

bool NeedsQuotes(std::string_view value) {
  if (value.empty()) return false;
  return value.find_first_of(";'\"") != std::string_view::npos || IsBlank(value.front()) ||
         IsBlank(value.back());
}

std::string Enclose(std::string_view value, char quote) {
  std::string quoted;
  quoted.reserve(value.size() + 2);
  quoted += quote;
  for (const char c : value) {
    if (c == quote) quoted += quote;
    quoted += c;
  }
  quoted += quote;
  return quoted;
}

}  // namespace

std::string ConnectionStringValue(std::string_view value) {
  if (!NeedsQuotes(value)) return std::string(value);
  const bool hasDouble = value.find('"') != std::string_view::npos;
  const bool hasSingle = value.find('\'') != std::string_view::npos;
  return Enclose(value, hasDouble && !hasSingle ? '\'' : '"');
}

}  // namespace qelto
