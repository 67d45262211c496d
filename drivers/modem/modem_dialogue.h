#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "drivers/modem/modem_line.h"

namespace qelto::cidr {

// How long a modem may take to answer one command; a reset (ATZ) takes about a second.
inline constexpr std::chrono::seconds kAnswerTimeout{5};

// The initialisation of a freshly opened modem: each init command in turn, each answered by OK
// or ERROR, then the caller-ID commands in turn until one is answered OK. A command left
// unanswered for kAnswerTimeout fails the dialogue: whatever sits on the port is no working
// modem. Lines other than OK and ERROR (the modem's echo of our command, RING) are passed over.
// Pure; the time is passed in.
class ModemDialogue {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  struct Step {
    enum class Kind {
      kWait,    // nothing to do until the next line or the deadline
      kSend,    // send `text` followed by CR
      kReady,   // done; caller_id_command() tells whether caller ID is on
      kFailed,  // `text` says why, e.g. "no answer to ATZ"
    };
    Kind kind = Kind::kWait;
    std::string text;

    friend bool operator==(const Step&, const Step&) = default;
  };

  ModemDialogue(std::vector<std::string> init, std::vector<std::string> caller_id);

  // Begins (or begins again) with the first command.
  Step Start(TimePoint now);
  Step OnLine(ModemLineKind kind, TimePoint now);
  Step OnTime(TimePoint now);
  // While a command awaits its answer: when it times out.
  std::optional<TimePoint> Deadline() const;
  // Abandons a dialogue in progress (the port was lost).
  void Stop() { running_ = false; }
  bool running() const { return running_; }

  // After kReady: the caller-ID command the modem accepted, or empty when it refused them all.
  const std::string& caller_id_command() const { return accepted_; }
  // After kReady: the init commands answered with ERROR.
  const std::vector<std::string>& refused_init() const { return refused_init_; }
  const std::vector<std::string>& caller_id_commands() const { return caller_id_; }

 private:
  Step SendCurrent(TimePoint now);
  Step Advance(bool accepted, TimePoint now);
  bool InInit() const { return next_ < init_.size(); }
  const std::string& Current() const;

  std::vector<std::string> init_;
  std::vector<std::string> caller_id_;
  std::size_t next_ = 0;  // index into init_, then init_.size() + index into caller_id_
  bool running_ = false;
  TimePoint deadline_;
  std::string accepted_;
  std::vector<std::string> refused_init_;
};

}  // namespace qelto::cidr
