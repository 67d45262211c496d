#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "drivers/posix/unique_fd.h"

namespace qelto::cidr::testing_support {

// A caller-ID modem on the master side of a pseudo-terminal, reached by the driver through a
// symbolic link to the slave side, as udev's /dev/serial/by-id names lead to a USB modem. It
// echoes each command the driver sends and answers it as a real modem does, and writes whatever
// the test gives it. Destroying it (or Unplug) pulls the plug: the link goes and the driver's
// side hangs up; a new FakeModem at the same link is the modem plugged in again. It can also go
// deaf, as modems do after weeks: the port stays, but commands go unanswered.
class FakeModem {
 public:
  // Command (without its CR) to the result the modem prints. Commands not listed are answered
  // "ERROR", as modems answer commands they do not know.
  using Answers = std::map<std::string, std::string>;

  // A modem with Conexant's or USRobotics' command set (AT+VCID).
  static Answers VcidModem();
  // An older Rockwell modem: AT+VCID is unknown, AT#CID works.
  static Answers CidModem();

  // Makes the pseudo-terminal and points `link` at it. Check problem() afterwards.
  FakeModem(std::string link, Answers answers);
  ~FakeModem();
  FakeModem(const FakeModem&) = delete;
  FakeModem& operator=(const FakeModem&) = delete;

  // Empty when the modem is set up; otherwise why not.
  const std::string& problem() const { return problem_; }
  // Writes `bytes` to the driver, all of them.
  void Send(std::string_view bytes);
  // Waits (a bounded while) until the driver has sent at least `count` commands; returns all
  // received so far.
  std::vector<std::string> WaitForCommands(std::size_t count);
  // Removes the link and closes the pseudo-terminal. Idempotent.
  void Unplug();
  // Leaves the next `commands` commands without echo or answer (they still count as received),
  // then answers again, as a deaf modem that a reset or a reopened port brings back.
  void GoDeaf(std::size_t commands);

 private:
  void Run();
  void Answer(const std::string& command);

  std::string link_;
  Answers answers_;
  std::string problem_;
  UniqueFd master_;
  UniqueFd slave_;  // held open, so the master side never sees a hang-up of its own
  UniqueFd wake_read_;
  UniqueFd wake_write_;
  std::mutex mutex_;
  std::condition_variable received_;
  std::vector<std::string> commands_;
  std::size_t deaf_for_ = 0;  // commands still to leave unanswered
  std::mutex write_mutex_;    // Send and the answers go out whole, one after the other
  std::thread thread_;
};

}  // namespace qelto::cidr::testing_support
