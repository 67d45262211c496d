#include "drivers/sim/sim_command.h"

#include <charconv>
#include <limits>
#include <optional>

#include "drivers/text_encoding.h"

namespace qelto::cidr {
namespace {

constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Reads words off the front of a line; what is left after the last word taken is the free text.
class WordReader {
 public:
  explicit WordReader(std::string_view line) : rest_(line) {}

  // The next blank-separated word, or empty at the end of the line.
  std::string_view NextWord() {
    SkipBlanks();
    std::size_t end = 0;
    while (end < rest_.size() && !IsBlank(rest_[end])) ++end;
    const std::string_view word = rest_.substr(0, end);
    rest_.remove_prefix(end);
    return word;
  }

  // Everything after the one blank that ends the last word taken.
  std::string_view FreeText() const { return rest_.empty() ? rest_ : rest_.substr(1); }

  bool AtEnd() {
    SkipBlanks();
    return rest_.empty();
  }

 private:
  void SkipBlanks() {
    while (!rest_.empty() && IsBlank(rest_.front())) rest_.remove_prefix(1);
  }

  std::string_view rest_;
};

// Decimal digits only (no sign, no blanks), within [minimum, maximum].
std::optional<std::int64_t> ParseBounded(std::string_view word, std::int64_t minimum,
                                         std::int64_t maximum) {
  if (word.empty()) return std::nullopt;
  for (const char c : word) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
  if (value < minimum || value > maximum) return std::nullopt;
  return value;
}

bool HasControlCharacter(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20U || byte == 0x7FU) return true;
  }
  return false;
}

// Checks a free text and converts it to the UTF-16 the driver delivers.
std::variant<std::u16string, CommandError> FreeText(std::string_view text, std::size_t limit,
                                                    std::string_view what) {
  if (text.size() > limit) {
    return CommandError{std::string(what) + " longer than " + std::to_string(limit) + " bytes"};
  }
  if (HasControlCharacter(text)) {
    return CommandError{std::string(what) + " contains control characters"};
  }
  std::optional<std::u16string> utf16 = Utf8ToUtf16(text);
  if (!utf16) return CommandError{std::string(what) + " is not valid UTF-8"};
  return std::move(*utf16);
}

ParsedCommand WithFreeText(SimCommand command, std::string_view text, std::size_t limit,
                           std::string_view what) {
  auto converted = FreeText(text, limit, what);
  if (auto* error = std::get_if<CommandError>(&converted)) return std::move(*error);
  command.text = std::move(std::get<std::u16string>(converted));
  return command;
}

ParsedCommand ParseCall(WordReader& words) {
  const std::string_view line_word = words.NextWord();
  if (line_word.empty()) return CommandError{"usage: call LINE [NUMBER]"};
  const std::optional<std::int64_t> line =
      ParseBounded(line_word, 1, std::numeric_limits<std::int32_t>::max());
  if (!line) return CommandError{"LINE must be a number from 1 to 2147483647"};
  SimCommand command{CommandKind::kCall, static_cast<std::int32_t>(*line), 1, {}};
  return WithFreeText(std::move(command), words.FreeText(), kMaxNumberBytes, "NUMBER");
}

ParsedCommand ParseDeviceCommand(CommandKind kind, WordReader& words) {
  SimCommand command{kind, 0, 1, {}};
  const std::string_view device_word = words.NextWord();
  if (!device_word.empty()) {
    const std::optional<std::int64_t> device = ParseBounded(device_word, 1, kMaxDevices);
    if (!device) return CommandError{"DEVICE must be a number from 1 to 8"};
    command.device = static_cast<int>(*device);
  }
  if (!words.AtEnd()) return CommandError{"too many arguments"};
  return command;
}

}  // namespace

ParsedCommand ParseSimCommand(std::string_view line) {
  WordReader words(line);
  const std::string_view keyword = words.NextWord();
  if (keyword.empty()) return CommandError{"empty command"};
  if (keyword == "call") return ParseCall(words);
  if (keyword == "unplug") return ParseDeviceCommand(CommandKind::kUnplug, words);
  if (keyword == "plug") return ParseDeviceCommand(CommandKind::kPlug, words);
  if (keyword == "status") {
    return WithFreeText(SimCommand{CommandKind::kStatus, 0, 1, {}}, words.FreeText(),
                        kMaxStatusBytes, "TEXT");
  }
  if (keyword == "info") {
    if (!words.AtEnd()) return CommandError{"too many arguments"};
    return SimCommand{CommandKind::kInfo, 0, 1, {}};
  }
  return CommandError{"unknown command"};
}

}  // namespace qelto::cidr
