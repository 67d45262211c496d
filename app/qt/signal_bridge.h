#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace qelto {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered on the user-interface thread, by
// the self-pipe technique: the handler only writes one byte to a socket that the event loop
// watches (nothing else is safe inside a signal handler). Until an event loop first runs, the
// start-up is not yet listening: a signal then ends the process at once. One bridge per process.
class SignalBridge : public QObject {
  Q_OBJECT

 public:
  SignalBridge();
  ~SignalBridge() override;
  SignalBridge(const SignalBridge&) = delete;
  SignalBridge& operator=(const SignalBridge&) = delete;

 signals:
  void terminationRequested(int signalNumber);

 private:
  void Drain();

  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace qelto
