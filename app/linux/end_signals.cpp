#include "app/linux/end_signals.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <system_error>

namespace orlo {
namespace {

sigset_t endSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGINT);
  return set;
}

int openEndSignalFd() {
  const sigset_t set = endSignalSet();
  const int fd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd < 0) {
    throw std::system_error(errno, std::generic_category(), "cannot watch for end signals");
  }
  return fd;
}

}  // namespace

void blockEndSignals() {
  const sigset_t set = endSignalSet();
  if (const int error = ::pthread_sigmask(SIG_BLOCK, &set, nullptr); error != 0) {
    throw std::system_error(error, std::generic_category(), "cannot block the end signals");
  }
}

EndSignals::EndSignals() : fd_(openEndSignalFd()), notifier_(fd_, QSocketNotifier::Read) {
  connect(&notifier_, &QSocketNotifier::activated, this, &EndSignals::readPending);
}

EndSignals::~EndSignals() {
  notifier_.setEnabled(false);
  ::close(fd_);
}

void EndSignals::readPending() {
  // Several signals that came together make one request.
  signalfd_siginfo info{};
  bool any = false;
  while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    any = true;
  }
  if (any) {
    emit received();
  }
}

}  // namespace orlo
