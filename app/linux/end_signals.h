#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace orlo {

// SIGTERM, SIGHUP and SIGINT, which a logout, a service manager stopping the session and Ctrl+C
// send, taken as requests to end the program through its normal close rather than ending it at
// once. Nothing runs in a signal handler: the signals stay blocked and are read from a signalfd
// on the event loop.

// Blocks the three signals in the calling thread and so in every thread it starts afterwards.
// Must run first in main(), before QApplication starts threads of its own: a thread that does not
// block them would be ended by them. Throws std::system_error on failure.
void blockEndSignals();

class EndSignals final : public QObject {
  Q_OBJECT

 public:
  // Needs blockEndSignals() and a QCoreApplication. Throws std::system_error when the signalfd
  // cannot be opened.
  EndSignals();
  // The signals stay blocked: one that comes while the program ends is dropped, not fatal.
  ~EndSignals() override;

  EndSignals(const EndSignals&) = delete;
  EndSignals& operator=(const EndSignals&) = delete;

 signals:
  // One or more of the signals arrived since the last time.
  void received();

 private:
  void readPending();

  int fd_;
  QSocketNotifier notifier_;
};

}  // namespace orlo
