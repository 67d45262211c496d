#include "drivers/pbx/ami_reader.h"

namespace qelto::cidr {
namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Bytes no manager interface sends in a key or its greeting: controls other than tab and CR (LF
// ends lines).
bool IsForeign(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte < 0x20 && c != '\t' && c != '\r' && c != '\n') || byte == 0x7F;
}

}  // namespace

std::string_view AmiMessage::Get(std::string_view key) const {
  for (const auto& [name, value] : fields) {
    if (EqualIgnoringCase(name, key)) return value;
  }
  return {};
}

std::vector<AmiMessage> AmiReader::Append(std::string_view bytes, std::string& error) {
  std::vector<AmiMessage> out;
  for (const char c : bytes) {
    if (!in_value_ && IsForeign(c)) {
      error = "binary data from the server";
      return out;
    }
    if (++message_bytes_ > kMaxAmiMessage) {
      error = "a message over 64 KB";
      return out;
    }
    if (c != '\n') {
      line_ += c;
      in_value_ = in_value_ || c == ':';
      continue;
    }
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    const bool ok = TakeLine(line_, out, error);
    line_.clear();
    in_value_ = false;
    if (!ok) return out;
  }
  return out;
}

void AmiReader::Reset() {
  line_.clear();
  in_value_ = false;
  message_ = {};
  message_bytes_ = 0;
  first_line_ = true;
}

bool AmiReader::TakeLine(std::string_view line, std::vector<AmiMessage>& out, std::string& error) {
  const bool first = std::exchange(first_line_, false);
  if (line.empty()) {
    if (!message_.fields.empty()) out.push_back(std::move(message_));
    message_ = {};
    message_bytes_ = 0;
    return true;
  }
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) {
    if (first) {  // the greeting
      message_bytes_ = 0;
      return true;
    }
    error = "a line without a colon from the server";
    return false;
  }
  message_.fields.emplace_back(TrimBlanks(line.substr(0, colon)),
                               TrimBlanks(line.substr(colon + 1)));
  return true;
}

}  // namespace qelto::cidr
