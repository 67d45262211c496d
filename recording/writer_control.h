#pragma once

#include <cstddef>
#include <cstdint>

namespace qelto {

// A call that has waited longer than this, in milliseconds, to be written is late: the tray's
// tip says so and the icon shows that calls are not being written.
inline constexpr std::uint32_t kCallLateMs = 60000;

// The calls not yet written: how many, and how long the oldest of them has waited.
struct CallsWaiting {
  std::size_t count = 0;
  std::uint32_t longestMs = 0;
};

// What the status tick sees of the database writer and asks of it.
class WriterControl {
 public:
  virtual ~WriterControl() = default;
  // The connection was opened and no write has found it lost since.
  virtual bool DbConnected() const = 0;
  // Connection attempts since start or since the last database alert.
  virtual std::int32_t ConnectAttempts() const = 0;
  // The database alert starts the count of attempts anew.
  virtual void ResetConnectAttempts() = 0;
  // Read from the writer's queue and the call it holds; never waits for the database.
  virtual CallsWaiting Waiting() const = 0;
  // Reconnects when that is due and writes the queued calls: at once, or soon on the writer's
  // own thread. Never waits for the database.
  virtual void ReconnectAndWrite() = 0;
};

}  // namespace qelto
