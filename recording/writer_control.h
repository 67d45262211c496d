#pragma once

#include <cstdint>

namespace qelto {

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
  // Reconnects when that is due and writes the queued calls: at once, or soon on the writer's
  // own thread. Never waits for the database.
  virtual void ReconnectAndWrite() = 0;
};

}  // namespace qelto
