#pragma once

#include <string>
#include <string_view>

namespace qelto {

// `value` as an SQL string literal: enclosed in single quotes, each single quote inside doubled.
// Every value the recorder puts into SQL text goes through here; nothing is parameterised.
std::string SqlLiteral(std::string_view value);

}  // namespace qelto
