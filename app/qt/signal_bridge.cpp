#include "app/qt/signal_bridge.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTimer>
#include <cerrno>
#include <cstdlib>

namespace qelto {
namespace {

// The signal handlers take no context: what they use is process-wide state, these few words.
volatile sig_atomic_t signalWriteFd = -1;
int signalReadFd = -1;
// Set until an event loop first runs. Until then no one reads the socket, and a start-up step
// may take long (a backlog of calls to recover) or wait in a system call: a signal then gives the
// start a moment to reach its loop and close in order, and ends the process when it does not.
// That is no worse than a kill, which the call journal is made to survive.
volatile sig_atomic_t inStartUp = 0;
constexpr unsigned kStartUpGraceSeconds = 1;

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void OnTerminationSignal(int signalNumber) {
  const int savedErrno = errno;
  if (inStartUp) ::alarm(kStartUpGraceSeconds);
  const auto byte = static_cast<unsigned char>(signalNumber);
  if (signalWriteFd >= 0) (void)!::write(signalWriteFd, &byte, 1);
  errno = savedErrno;
}

extern "C" void OnStartUpOverdue(int) {
  static constexpr char kNote[] = "qelto-callerid: ended by a signal during start-up\n";
  (void)!::write(STDERR_FILENO, kNote, sizeof kNote - 1);
  std::_Exit(0);
}

void SetHandler(int signalNumber, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signalNumber, &action, nullptr);
}

}  // namespace

SignalBridge::SignalBridge() {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) return;
  signalWriteFd = fds[0];
  signalReadFd = fds[1];
  notifier_ = std::make_unique<QSocketNotifier>(signalReadFd, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &SignalBridge::Drain);
  // Runs as soon as any event loop runs, the main one or a start-up box's.
  inStartUp = 1;
  QTimer::singleShot(0, this, [] {
    inStartUp = 0;
    ::alarm(0);
  });
  SetHandler(SIGALRM, OnStartUpOverdue);
  for (const int number : kSignals) SetHandler(number, OnTerminationSignal);
}

SignalBridge::~SignalBridge() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  for (const int number : kSignals) ::sigaction(number, &action, nullptr);
  inStartUp = 0;
  ::alarm(0);
  ::sigaction(SIGALRM, &action, nullptr);
  notifier_.reset();
  if (signalReadFd >= 0) ::close(signalReadFd);
  if (signalWriteFd >= 0) ::close(signalWriteFd);
  signalReadFd = -1;
  signalWriteFd = -1;
}

void SignalBridge::Drain() {
  unsigned char byte = 0;
  while (::read(signalReadFd, &byte, 1) == 1) emit terminationRequested(byte);
}

}  // namespace qelto
