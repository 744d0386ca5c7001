// What the real program costs as a window on an X display, next to a baseline program that only
// shows one empty Qt Widgets window (minimal_window), both measured in the same run, and, where
// asked, next to the same baseline showing one line of text (minimal_window --text), which tells
// how much of the difference is the set-up of the fonts:
//   start-up  from the fork of the program to the MapNotify of its top-level window, as seen by
//             this driver on the display, and the on-CPU time of the program's threads until
//             then (/proc/<pid>/task/*/schedstat), which other load on the machine sways less;
//             repeated, the programs taking turns, after one warm-up start of each that is not
//             counted;
//   memory    VmRSS (and RssAnon) from /proc/<pid>/status after the map and a settle time;
//   idle CPU  the program and the empty baseline started once more and left side by side: the
//             growth of utime+stime from /proc/<pid>/stat (clock ticks), of the threads' on-CPU
//             time from /proc/<pid>/task/*/schedstat (nanoseconds) and of their context
//             switches (wake-ups).
// Each figure is printed for every program with the ratio program / baseline. Never pass/fail.
//
// Needs DISPLAY (an Xvfb with a window manager; bench/run-all sets one up) and whatever
// environment the program is to run with (XDG_CONFIG_HOME for its settings). Every wait is
// bounded; every program started is killed and reaped on every path, and dies with this driver
// (PR_SET_PDEATHSIG) should the driver itself be killed.
//
// usage: window_bench --program PATH --title TITLE --baseline PATH --baseline-title TITLE
//                     [--text-baseline-title TITLE] [--runs N] [--settle-ms MS]
//                     [--idle-seconds S] [--log FILE]

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kMapTimeout{30000};
constexpr milliseconds kExitGrace{5000};

volatile sig_atomic_t stopRequested = 0;

void requestStop(int) {
  stopRequested = 1;
}

struct Options {
  std::string program;
  std::string title;
  std::string baseline;
  std::string baselineTitle;
  std::string textBaselineTitle;  // empty: the baseline with text is not run
  int runs = 10;
  int settleMs = 1000;
  int idleSeconds = 60;
  std::string log = "/dev/null";
};

std::optional<Options> parseOptions(int argc, char* argv[]) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--program") {
      options.program = value;
    } else if (name == "--title") {
      options.title = value;
    } else if (name == "--baseline") {
      options.baseline = value;
    } else if (name == "--baseline-title") {
      options.baselineTitle = value;
    } else if (name == "--text-baseline-title") {
      options.textBaselineTitle = value;
    } else if (name == "--runs") {
      options.runs = std::atoi(value.c_str());
    } else if (name == "--settle-ms") {
      options.settleMs = std::atoi(value.c_str());
    } else if (name == "--idle-seconds") {
      options.idleSeconds = std::atoi(value.c_str());
    } else if (name == "--log") {
      options.log = value;
    } else {
      return std::nullopt;
    }
  }
  if (argc % 2 != 1 || options.program.empty() || options.title.empty() ||
      options.baseline.empty() || options.baselineTitle.empty() || options.runs < 1 ||
      options.runs > 1000 || options.settleMs < 0 || options.settleMs > 60000 ||
      options.idleSeconds < 1 || options.idleSeconds > 3600) {
    return std::nullopt;
  }
  return options;
}

// A program started by this driver: killed and reaped when it goes out of scope.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::string& log) {
    const int output = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
      // Dies with the driver, whichever way the driver ends.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) {
        ::_exit(127);
      }
      const int input = ::open("/dev/null", O_RDONLY);
      if (input >= 0) {
        ::dup2(input, STDIN_FILENO);
      }
      if (output >= 0) {
        ::dup2(output, STDOUT_FILENO);
        ::dup2(output, STDERR_FILENO);
      }
      std::vector<char*> arguments;
      for (const std::string& argument : argv) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
      }
      arguments.push_back(nullptr);
      ::execv(arguments[0], arguments.data());
      ::_exit(127);
    }
    if (output >= 0) {
      ::close(output);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { stop(); }

  pid_t pid() const { return pid_; }
  bool started() const { return pid_ > 0; }

  // Whether it has ended by itself.
  bool ended() {
    if (pid_ <= 0) {
      return true;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return true;
    }
    return false;
  }

  // SIGTERM, then SIGKILL after a grace time; always reaped.
  void stop() {
    if (pid_ <= 0) {
      return;
    }
    ::kill(pid_, SIGTERM);
    const Clock::time_point deadline = Clock::now() + kExitGrace;
    while (Clock::now() < deadline) {
      if (ended()) {
        return;
      }
      std::this_thread::sleep_for(milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

struct FreeDeleter {
  void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

// The display, watched for top-level windows being created and mapped.
class Display {
 public:
  Display() : connection_(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(connection_)) {
      return;
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    netWmName_ = internAtom("_NET_WM_NAME");
    utf8String_ = internAtom("UTF8_STRING");
    const std::uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &rootEvents);
    xcb_flush(connection_);
  }
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;
  ~Display() { xcb_disconnect(connection_); }

  bool usable() const { return xcb_connection_has_error(connection_) == 0; }

  // Throws away the events of earlier runs.
  void drain() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      std::free(event);
    }
  }

  // Waits for the first map of a top-level window with the title, at most until the deadline or
  // until the child ends or a stop is requested. Returns when the driver saw it. A window found
  // already mapped when it was first looked at counts from that moment (lateMaps() tells).
  std::optional<Clock::time_point> waitForMap(const std::string& title, Child& child,
                                              Clock::time_point deadline) {
    std::map<xcb_window_t, bool> watched;
    while (Clock::now() < deadline && stopRequested == 0 && !child.ended()) {
      pollfd readable{xcb_get_file_descriptor(connection_), POLLIN, 0};
      ::poll(&readable, 1, 20);
      while (xcb_generic_event_t* raw = xcb_poll_for_event(connection_)) {
        std::unique_ptr<xcb_generic_event_t, FreeDeleter> event(raw);
        const Clock::time_point seen = Clock::now();
        const int type = event->response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
          const auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event.get());
          if (created->parent != root_) {
            continue;
          }
          const std::uint32_t windowEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
          xcb_change_window_attributes(connection_, created->window, XCB_CW_EVENT_MASK,
                                       &windowEvents);
          watched[created->window] = true;
          if (isMapped(created->window) && titleOf(created->window) == title) {
            ++lateMaps_;
            return seen;
          }
        } else if (type == XCB_MAP_NOTIFY) {
          const auto* mapped = reinterpret_cast<xcb_map_notify_event_t*>(event.get());
          if (mapped->event == mapped->window && watched.count(mapped->window) != 0 &&
              titleOf(mapped->window) == title) {
            return seen;
          }
        }
      }
      if (xcb_connection_has_error(connection_)) {
        return std::nullopt;
      }
    }
    return std::nullopt;
  }

  // Lets time pass without letting the event queue grow.
  void idle(milliseconds duration) {
    const Clock::time_point end = Clock::now() + duration;
    while (Clock::now() < end && stopRequested == 0) {
      const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now());
      pollfd readable{xcb_get_file_descriptor(connection_), POLLIN, 0};
      ::poll(&readable, 1, static_cast<int>(std::clamp<long>(left.count(), 0, 200)));
      drain();
    }
  }

  int lateMaps() const { return lateMaps_; }

 private:
  xcb_atom_t internAtom(const char* name) {
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
  }

  std::string property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, name, type, 0, 256), nullptr));
    if (!reply || reply->format == 0) {
      return {};
    }
    const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(bytes, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
  }

  std::string titleOf(xcb_window_t window) {
    std::string title = property(window, netWmName_, utf8String_);
    return title.empty() ? property(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING) : title;
  }

  bool isMapped(xcb_window_t window) {
    XcbReply<xcb_get_window_attributes_reply_t> reply(xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, window), nullptr));
    return reply && reply->map_state != XCB_MAP_STATE_UNMAPPED;
  }

  xcb_connection_t* connection_;
  xcb_window_t root_ = 0;
  xcb_atom_t netWmName_ = XCB_ATOM_NONE;
  xcb_atom_t utf8String_ = XCB_ATOM_NONE;
  int lateMaps_ = 0;
};

// A value from /proc/<pid>/status in kB ("VmRSS:   12345 kB"); nothing when absent.
std::optional<long> statusKilobytes(pid_t pid, const std::string& key) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, key.size() + 1, key + ":") == 0) {
      return std::strtol(line.c_str() + key.size() + 1, nullptr, 10);
    }
  }
  return std::nullopt;
}

struct CpuUse {
  long clockTicks = 0;     // utime + stime of the whole process, dead threads included
  long long onCpuNs = 0;   // sum over the live threads
  long long switches = 0;  // voluntary and involuntary context switches of the live threads
  int threads = 0;
};

std::optional<CpuUse> cpuUse(pid_t pid) {
  const std::string base = "/proc/" + std::to_string(pid);
  std::ifstream statFile(base + "/stat");
  std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
  // The command name may hold blanks and parentheses: the fields start after the last ')'.
  const std::size_t nameEnd = stat.rfind(')');
  if (nameEnd == std::string::npos) {
    return std::nullopt;
  }
  std::istringstream fields(stat.substr(nameEnd + 1));
  std::vector<std::string> field;
  for (std::string value; fields >> value && field.size() < 13;) {
    field.push_back(value);
  }
  if (field.size() < 13) {
    return std::nullopt;
  }
  CpuUse use;
  // Fields 14 and 15 of the file, utime and stime; field 3 is the first after the name.
  use.clockTicks = std::stol(field[11]) + std::stol(field[12]);

  DIR* tasks = ::opendir((base + "/task").c_str());
  if (tasks == nullptr) {
    return std::nullopt;
  }
  while (const dirent* entry = ::readdir(tasks)) {
    if (entry->d_name[0] == '.') {
      continue;
    }
    const std::string task = base + "/task/" + entry->d_name;
    std::ifstream schedstat(task + "/schedstat");
    long long onCpu = 0;
    if (schedstat >> onCpu) {
      use.onCpuNs += onCpu;
      ++use.threads;
    }
    std::ifstream status(task + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.find("ctxt_switches:") != std::string::npos) {
        use.switches += std::strtoll(line.c_str() + line.find(':') + 1, nullptr, 10);
      }
    }
  }
  ::closedir(tasks);
  return use;
}

struct StartSample {
  double startupMs = 0;
  double onCpuToMapMs = 0;  // of the program's threads, read as soon as the map is seen
  long rssKb = 0;
  long rssAnonKb = 0;
};

struct Subject {
  std::string name;
  std::vector<std::string> argv;
  std::string title;
  std::vector<StartSample> samples;
};

// One start of the program: fork to map, then the memory after the settle time.
std::optional<StartSample> measureStart(Display& display, const Subject& subject,
                                        const Options& options) {
  display.drain();
  const Clock::time_point forked = Clock::now();
  Child child(subject.argv, options.log);
  if (!child.started()) {
    std::fprintf(stderr, "cannot start %s: %s\n", subject.argv[0].c_str(), std::strerror(errno));
    return std::nullopt;
  }
  const auto mapped = display.waitForMap(subject.title, child, forked + kMapTimeout);
  if (!mapped) {
    std::fprintf(stderr, "%s: no window \"%s\" was mapped within %lld ms (see %s)\n",
                 subject.name.c_str(), subject.title.c_str(),
                 static_cast<long long>(kMapTimeout.count()), options.log.c_str());
    return std::nullopt;
  }
  const auto cpuAtMap = cpuUse(child.pid());
  display.idle(milliseconds(options.settleMs));
  StartSample sample;
  sample.startupMs = std::chrono::duration<double, std::milli>(*mapped - forked).count();
  sample.onCpuToMapMs = cpuAtMap ? static_cast<double>(cpuAtMap->onCpuNs) / 1e6 : -1;
  sample.rssKb = statusKilobytes(child.pid(), "VmRSS").value_or(-1);
  sample.rssAnonKb = statusKilobytes(child.pid(), "RssAnon").value_or(-1);
  return sample;
}

struct Spread {
  double median = 0;
  double min = 0;
  double max = 0;
};

template <typename Value>
Spread spreadOf(const std::vector<StartSample>& samples, Value value) {
  std::vector<double> values;
  for (const StartSample& sample : samples) {
    values.push_back(value(sample));
  }
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.front(), values.back()};
}

// The program comes first among the subjects; every other one is a baseline.
void printRatios(const std::vector<Subject>& subjects, const std::vector<double>& values) {
  for (std::size_t i = 1; i < subjects.size(); ++i) {
    const std::string label = "program/" + subjects[i].name;
    if (values[i] > 0) {
      std::printf("  %-30s %10.2f\n", label.c_str(), values[0] / values[i]);
    } else {
      std::printf("  %-30s %10s (baseline is 0)\n", label.c_str(), "n/a");
    }
  }
}

template <typename Value>
void printSpreads(const char* heading, const char* unit, const std::vector<Subject>& subjects,
                  Value value) {
  std::printf("\n%s\n  %-30s %10s %10s %10s\n", heading, "", "median", "min", "max");
  std::vector<double> medians;
  for (const Subject& subject : subjects) {
    const Spread spread = spreadOf(subject.samples, value);
    medians.push_back(spread.median);
    std::printf("  %-30s %10.1f %10.1f %10.1f %s\n", subject.name.c_str(), spread.median,
                spread.min, spread.max, unit);
  }
  printRatios(subjects, medians);
}

std::string ratioText(long long top, long long bottom) {
  if (bottom <= 0) {
    return "n/a (baseline 0)";
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(top) / static_cast<double>(bottom));
  return text;
}

// Starts the programs, lets them settle, then samples their CPU use over the same interval.
bool measureIdle(Display& display, const std::vector<Subject>& subjects, const Options& options) {
  std::vector<std::unique_ptr<Child>> children;
  for (const Subject& subject : subjects) {
    display.drain();
    const Clock::time_point forked = Clock::now();
    children.push_back(std::make_unique<Child>(subject.argv, options.log));
    if (!children.back()->started() ||
        !display.waitForMap(subject.title, *children.back(), forked + kMapTimeout)) {
      std::fprintf(stderr, "%s did not show its window for the idle measurement\n",
                   subject.name.c_str());
      return false;
    }
  }
  display.idle(milliseconds(options.settleMs));
  std::vector<CpuUse> before;
  for (const auto& child : children) {
    const auto use = cpuUse(child->pid());
    if (!use) {
      std::fprintf(stderr, "cannot read the CPU use of process %d\n", child->pid());
      return false;
    }
    before.push_back(*use);
  }
  const Clock::time_point start = Clock::now();
  display.idle(std::chrono::seconds(options.idleSeconds));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (stopRequested != 0) {
    return false;
  }
  const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
  std::printf("\nIdle CPU over %.1f s, the programs side by side after a %d ms settle\n", seconds,
              options.settleMs);
  std::printf("  %-30s %8s %10s %12s %10s %12s %8s\n", "", "ticks", "= ms", "on-CPU ms",
              "% of core", "switches/s", "threads");
  std::vector<CpuUse> growth;
  for (std::size_t i = 0; i < children.size(); ++i) {
    const auto after = cpuUse(children[i]->pid());
    if (!after) {
      std::fprintf(stderr, "cannot read the CPU use of process %d\n", children[i]->pid());
      return false;
    }
    CpuUse used;
    used.clockTicks = after->clockTicks - before[i].clockTicks;
    used.onCpuNs = after->onCpuNs - before[i].onCpuNs;
    used.switches = after->switches - before[i].switches;
    used.threads = after->threads;
    growth.push_back(used);
    const double onCpuMs = static_cast<double>(used.onCpuNs) / 1e6;
    std::printf("  %-30s %8ld %10.0f %12.2f %10.4f %12.2f %8d\n", subjects[i].name.c_str(),
                used.clockTicks, 1000.0 * static_cast<double>(used.clockTicks) / ticksPerSecond,
                onCpuMs, onCpuMs / (10.0 * seconds), static_cast<double>(used.switches) / seconds,
                used.threads);
  }
  std::printf("  program/baseline: ticks %s, on-CPU time %s, switches %s\n",
              ratioText(growth[0].clockTicks, growth[1].clockTicks).c_str(),
              ratioText(growth[0].onCpuNs, growth[1].onCpuNs).c_str(),
              ratioText(growth[0].switches, growth[1].switches).c_str());
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  const auto options = parseOptions(argc, argv);
  if (!options) {
    std::fprintf(stderr,
                 "usage: %s --program PATH --title TITLE --baseline PATH --baseline-title TITLE\n"
                 "          [--text-baseline-title TITLE] [--runs N] [--settle-ms MS]\n"
                 "          [--idle-seconds S] [--log FILE]\n",
                 argv[0]);
    return 2;
  }
  // Line by line, so that a run that is stopped half-way still shows what it measured.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  struct sigaction stop {};
  stop.sa_handler = requestStop;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    ::sigaction(signal, &stop, nullptr);
  }

  Display display;
  if (!display.usable()) {
    std::fprintf(stderr, "cannot connect to the X display (DISPLAY=%s)\n",
                 std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "");
    return 2;
  }
  std::vector<Subject> subjects{{"program", {options->program}, options->title, {}},
                                {"baseline", {options->baseline}, options->baselineTitle, {}}};
  if (!options->textBaselineTitle.empty()) {
    subjects.push_back(
        {"baseline --text", {options->baseline, "--text"}, options->textBaselineTitle, {}});
  }
  std::printf("program:  %s\nbaseline: %s\n", options->program.c_str(), options->baseline.c_str());

  // One start of each first, uncounted: it pays for the page cache and the font cache.
  for (const Subject& subject : subjects) {
    if (!measureStart(display, subject, *options)) {
      return 1;
    }
  }
  for (int run = 0; run < options->runs && stopRequested == 0; ++run) {
    // Taking turns, each program going first in every other run.
    for (std::size_t turn = 0; turn < subjects.size(); ++turn) {
      Subject& subject = subjects[(turn + static_cast<std::size_t>(run)) % subjects.size()];
      const auto sample = measureStart(display, subject, *options);
      if (!sample) {
        return 1;
      }
      subject.samples.push_back(*sample);
    }
  }
  if (stopRequested != 0) {
    return 1;
  }
  char heading[160];
  std::snprintf(heading, sizeof heading,
                "Start-up, fork to window mapped (%d runs each after one warm-up, taking turns)",
                options->runs);
  printSpreads(heading, "ms", subjects, [](const StartSample& s) { return s.startupMs; });
  printSpreads("On-CPU time of the threads up to the map (less swayed by other load)", "ms",
               subjects, [](const StartSample& s) { return s.onCpuToMapMs; });
  std::snprintf(heading, sizeof heading, "VmRSS %d ms after the map", options->settleMs);
  printSpreads(heading, "kB", subjects, [](const StartSample& s) { return double(s.rssKb); });
  std::snprintf(heading, sizeof heading, "RssAnon (of VmRSS) %d ms after the map",
                options->settleMs);
  printSpreads(heading, "kB", subjects, [](const StartSample& s) { return double(s.rssAnonKb); });
  if (display.lateMaps() > 0) {
    std::printf(
        "  note: %d window(s) were already mapped when first seen; those start-ups are "
        "counted to the moment they were seen\n",
        display.lateMaps());
  }

  // The idle CPU of the program against the empty window only: a window with text idles alike.
  const std::vector<Subject> idleSubjects(subjects.begin(), subjects.begin() + 2);
  return measureIdle(display, idleSubjects, *options) ? 0 : 1;
}
