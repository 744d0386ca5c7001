// Times the start of a windowed program on an X display: from the fork of the program to the
// map of the window manager's frame around its window with the given title, as this driver sees
// it. Prints "<pid> <milliseconds>" at that moment, then keeps the program running until this
// driver gets SIGTERM, SIGINT or SIGHUP, so that bench/run-all can read the program's memory and
// CPU use meanwhile; then it stops the program and reaps it. The program dies with the driver
// (PR_SET_PDEATHSIG) should the driver itself be killed.
//
// Needs DISPLAY with a reparenting window manager (bench/run-all starts Xvfb with openbox). The
// program's output goes to the driver's standard error.
//
// usage: window_bench TITLE PROGRAM [ARGUMENT...]
// Exits 0 when the program was stopped after its map, 1 when it ended by itself, was not mapped
// within 30 s or the driver was stopped before that, 2 on a usage or X failure.

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kMapTimeout{30};

struct FreeDeleter {
  void operator()(void* pointer) const { std::free(pointer); }
};

std::string titleOf(xcb_connection_t* connection, xcb_window_t window) {
  const std::unique_ptr<xcb_get_property_reply_t, FreeDeleter> reply(xcb_get_property_reply(
      connection,
      xcb_get_property(connection, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
      nullptr));
  if (!reply) {
    return {};
  }
  return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                     static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

// The program, with the signals this driver waits for unblocked again and its output on the
// driver's standard error. Returns only in the driver.
pid_t startProgram(char* argv[], const sigset_t& unblocked) {
  const pid_t driver = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::sigprocmask(SIG_SETMASK, &unblocked, nullptr);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != driver) {
      ::_exit(127);
    }
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    ::execvp(argv[0], argv);
    std::perror(argv[0]);
    ::_exit(127);
  }
  return pid;
}

// Waits for the map of the frame of the program's window. The frame is a child of the root
// window, so the root's substructure events tell both when the window is put into its frame
// and when the frame is mapped; no window of the program has to be watched before it exists.
bool waitForMap(xcb_connection_t* connection, xcb_window_t root, const std::string& title,
                int signals) {
  const Clock::time_point deadline = Clock::now() + kMapTimeout;
  xcb_window_t frame = XCB_WINDOW_NONE;
  while (Clock::now() < deadline) {
    pollfd ready[2] = {{xcb_get_file_descriptor(connection), POLLIN, 0}, {signals, POLLIN, 0}};
    ::poll(ready, 2, 100);
    if ((ready[1].revents & POLLIN) != 0) {
      signalfd_siginfo received{};
      const bool ended = ::read(signals, &received, sizeof received) == sizeof received &&
                         received.ssi_signo == SIGCHLD;
      std::fprintf(stderr, "%s before a window \"%s\" was mapped\n",
                   ended ? "the program ended" : "stopped", title.c_str());
      return false;
    }
    while (xcb_generic_event_t* raw = xcb_poll_for_event(connection)) {
      const std::unique_ptr<xcb_generic_event_t, FreeDeleter> event(raw);
      const int type = event->response_type & 0x7f;
      if (type == XCB_REPARENT_NOTIFY) {
        const auto* reparented = reinterpret_cast<xcb_reparent_notify_event_t*>(raw);
        if (reparented->event == root && titleOf(connection, reparented->window) == title) {
          frame = reparented->parent;
        }
      } else if (type == XCB_MAP_NOTIFY) {
        const auto* mapped = reinterpret_cast<xcb_map_notify_event_t*>(raw);
        if (frame != XCB_WINDOW_NONE && mapped->window == frame) {
          return true;
        }
      }
    }
    if (xcb_connection_has_error(connection) != 0) {
      return false;
    }
  }
  std::fprintf(stderr, "no window \"%s\" was mapped within %lld s\n", title.c_str(),
               static_cast<long long>(kMapTimeout.count()));
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s TITLE PROGRAM [ARGUMENT...]\n", argv[0]);
    return 2;
  }
  const std::string title = argv[1];
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    std::fprintf(stderr, "cannot connect to the X display\n");
    xcb_disconnect(connection);
    return 2;
  }
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  const std::uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &rootEvents);
  xcb_flush(connection);

  // The signals are read from a descriptor, so that none is missed between two waits.
  sigset_t awaited;
  sigset_t unblocked;
  sigemptyset(&awaited);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD}) {
    sigaddset(&awaited, signal);
  }
  ::sigprocmask(SIG_BLOCK, &awaited, &unblocked);
  const int signals = ::signalfd(-1, &awaited, SFD_CLOEXEC);
  const Clock::time_point forked = Clock::now();
  const pid_t program = signals < 0 ? -1 : startProgram(argv + 2, unblocked);
  if (program < 0) {
    std::perror("window_bench");
    xcb_disconnect(connection);
    return 2;
  }
  const bool mapped = waitForMap(connection, root, title, signals);
  const Clock::time_point seen = Clock::now();
  xcb_disconnect(connection);

  int result = 1;
  if (mapped) {
    std::printf("%d %.3f\n", program,
                std::chrono::duration<double, std::milli>(seen - forked).count());
    std::fflush(stdout);
    signalfd_siginfo received{};
    if (::read(signals, &received, sizeof received) == sizeof received &&
        received.ssi_signo != SIGCHLD) {
      result = 0;
    }
  }
  ::kill(program, SIGTERM);
  ::waitpid(program, nullptr, 0);
  return result;
}
