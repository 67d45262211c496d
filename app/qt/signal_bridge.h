#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace qelto {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered on the user-interface thread, by
// the self-pipe technique: the handler only writes one byte to a socket that the event loop
// watches (nothing else is safe inside a signal handler). Until an event loop first runs, the
// start-up is not listening: a signal that the start does not take up within a second (it is
// recovering a large backlog, or waits in a system call) ends the process. One bridge per
// process; it uses SIGALRM.
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
