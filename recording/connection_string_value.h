#pragma once

#include <string>
#include <string_view>

namespace qelto {

// `value` written so that, placed after "Keyword=" in an OLE DB connection string, the provider
// reads back exactly `value` and nothing after it. Without this a password holding ';' could end
// its pair early and add pairs of its own.
//
// OLE DB rules: a value holding ';', a quote, or blanks at either end must be enclosed in quotes.
// Double quotes are used unless the value holds a double quote; then single quotes, unless it
// holds a single quote too; then double quotes with each double quote inside doubled.
// Any other value, the empty one included, is returned unchanged.
std::string ConnectionStringValue(std::string_view value);

}  // namespace qelto
