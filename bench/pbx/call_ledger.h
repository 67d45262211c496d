#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelto::bench {

// What a call sent should leave behind: a row with its own number, a row without a number (the
// caller withheld it), or none (an internal or outgoing call).
enum class Expected : std::uint8_t { kNone, kRow, kWithheld };

// Each call of a run, numbered from 0, and the rows (or driver events) that came of it. A call's
// caller has a number that names it ("09" and its index in 9 digits), so each row is set against
// its own call. All the room is taken at the start, so the ledger does not grow during a run.
class CallLedger {
 public:
  explicit CallLedger(std::size_t calls);

  static std::string Number(std::size_t index);
  // The index a number names; nullopt for a number not made by Number.
  static std::optional<std::size_t> IndexOf(std::string_view number);

  void Sent(std::size_t index, Expected expected);
  // A row (or a call event) with the caller's digits `number`: empty or 0 when withheld.
  void Heard(std::string_view number);

  // Rows still due from the calls sent (none when more came than were due).
  std::size_t outstanding() const { return heard_ >= due_ ? 0 : due_ - heard_; }
  std::size_t heard() const { return heard_; }
  std::size_t due() const { return due_; }
  // Empty when every call sent left what it should; else why not, in a few lines.
  std::string Problems() const;

 private:
  std::vector<Expected> expected_;
  std::vector<std::uint8_t> rows_;  // per call, counted up to 255
  std::size_t withheld_due_ = 0;
  std::size_t withheld_heard_ = 0;
  std::size_t due_ = 0;
  std::size_t heard_ = 0;
  std::size_t foreign_ = 0;  // rows with numbers of no call sent
  std::string first_foreign_;
};

}  // namespace qelto::bench
