// Feeds arbitrary file contents to the settings parser and checks what must hold for any file:
// the parser never crashes, a failure names one of the indexes the file format allows, and a
// connection string, read back the way the OLE DB provider reads it, yields exactly the pairs
// the settings describe - whatever quotes, semicolons or blanks the values hold.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "recording/server_config.h"
#include "recording/sql_literal.h"
#include "recording/text_lines.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "settings_fuzzer: %s\n", what);
  std::abort();
}

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

void SkipBlanks(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
}

std::string_view TrimTrailingBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A quoted value; `pos` stands on the opening quote. A doubled quote stands for one.
std::optional<std::string> ReadQuotedValue(std::string_view text, std::size_t& pos) {
  const char quote = text[pos++];
  std::string value;
  for (;;) {
    const std::size_t close = text.find(quote, pos);
    if (close == std::string_view::npos) return std::nullopt;
    value.append(text.substr(pos, close - pos));
    pos = close + 1;
    if (pos >= text.size() || text[pos] != quote) break;
    value += quote;
    ++pos;
  }
  SkipBlanks(text, pos);
  if (pos < text.size() && text[pos] != ';') return std::nullopt;
  ++pos;
  return value;
}

std::string ReadPlainValue(std::string_view text, std::size_t& pos) {
  const std::size_t end = std::min(text.find(';', pos), text.size());
  std::string value(TrimTrailingBlanks(text.substr(pos, end - pos)));
  pos = end + 1;
  return value;
}

// Keyword/value pairs of an OLE DB connection string. The keywords used here hold no '='.
std::optional<Pairs> ReadConnectionString(std::string_view text) {
  Pairs pairs;
  std::size_t pos = 0;
  while (pos < text.size()) {
    SkipBlanks(text, pos);
    const std::size_t equals = text.find('=', pos);
    if (equals == std::string_view::npos) return std::nullopt;
    std::string keyword(TrimTrailingBlanks(text.substr(pos, equals - pos)));
    pos = equals + 1;
    SkipBlanks(text, pos);
    std::optional<std::string> value;
    if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
      value = ReadQuotedValue(text, pos);
    } else {
      value = ReadPlainValue(text, pos);
    }
    if (!value) return std::nullopt;
    pairs.emplace_back(std::move(keyword), std::move(*value));
  }
  return pairs;
}

Pairs ExpectedPairs(const qelto::ServerConfig& config) {
  Pairs pairs = {{"Provider", "SQLOLEDB.1"}};
  if (config.integratedSecurity) {
    pairs.push_back({"Integrated Security", "SSPI"});
    pairs.push_back({"Persist Security Info", "False"});
  } else if (config.password.empty()) {
    pairs.push_back({"Persist Security Info", "False"});
  } else {
    pairs.push_back({"Password", config.password});
    pairs.push_back({"Persist Security Info", "True"});
  }
  pairs.push_back({"User ID", config.user});
  pairs.push_back({"Initial Catalog", config.database});
  pairs.push_back({"Data Source", config.server});
  return pairs;
}

void CheckFailure(const qelto::ServerConfig& config) {
  Require(config.error == "List index out of bounds (2)" ||
              config.error == "List index out of bounds (3)" ||
              config.error == "List index out of bounds (4)" ||
              config.error == "List index out of bounds (5)",
          "unexpected failure text");
  Require(config.connectionString.empty(), "connection string set on failure");
}

void CheckSuccess(const qelto::ServerConfig& config, const std::vector<std::string>& lines) {
  Require(config.error.empty(), "error text on success");
  Require(config.server == lines[1] && config.database == lines[2] && config.user == lines[4],
          "raw values differ from the file's lines");
  Require(config.integratedSecurity == (lines[3] != "1"), "wrong authentication switch");
  const auto pairs = ReadConnectionString(config.connectionString);
  Require(pairs.has_value(), "connection string does not read back");
  Require(*pairs == ExpectedPairs(config), "connection string reads back other pairs");

  const std::string branch = lines.size() >= 10 ? lines[9] : std::string();
  Require(config.BranchCodeText == branch, "wrong branch code");
  Require(config.BranchColumnText == (branch.empty() ? "" : ", BranchCode"), "wrong column");
  Require(config.BranchValueText == (branch.empty() ? "" : ", " + qelto::SqlLiteral(branch)),
          "wrong branch value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const qelto::ServerConfig config = qelto::ParseServerConfig(bytes, "/fuzz//Server_Config.dll");
  if (config.ok) {
    CheckSuccess(config, qelto::SplitTextLines(bytes));
  } else {
    CheckFailure(config);
  }
  return 0;
}
