#include "recording/sql_literal.h"

namespace qelto {

std::string SqlLiteral(std::string_view value) {
  std::string literal;
  literal.reserve(value.size() + 2);
  literal += '\'';
  for (const char c : value) {
    if (c == '\'') literal += '\'';
    literal += c;
  }
  literal += '\'';
  return literal;
}

}  // namespace qelto
