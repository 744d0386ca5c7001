// Watches an X display for the first map of a top-level window with a given title and reports
// the window's _NET_WM_STATE before and at that moment. Exits 0 when every state seen up to and
// including the first map holds _NET_WM_STATE_ABOVE, 1 when one does not, 2 on a time-out or an
// X failure, 3 when the window was mapped before this watcher could watch it: a window's events
// can be selected only once it exists, and a program that sets up and maps a window in one go
// may be quicker than that. Prints "ready" once it watches, so that the program can be started
// after it, and "window 0x..." with the window's id.
//
// usage: first_map_state TITLE TIMEOUT_SECONDS

#include <poll.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct FreeDeleter {
  void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
  XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection,
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
      nullptr));
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

struct Atoms {
  xcb_atom_t netWmState;
  xcb_atom_t netWmStateAbove;
  xcb_atom_t netWmName;
  xcb_atom_t utf8String;
};

// The property's bytes; empty when it is absent or the window is gone.
std::string propertyBytes(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                          xcb_atom_t type) {
  XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, window, property, type, 0, 1024), nullptr));
  if (!reply || reply->format == 0) {
    return {};
  }
  const int length = xcb_get_property_value_length(reply.get());
  const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.get()));
  return std::string(bytes, static_cast<std::size_t>(length));
}

std::string windowTitle(xcb_connection_t* connection, xcb_window_t window, const Atoms& atoms) {
  std::string title = propertyBytes(connection, window, atoms.netWmName, atoms.utf8String);
  if (title.empty()) {
    title = propertyBytes(connection, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
  }
  return title;
}

struct WmState {
  bool present = false;
  bool above = false;
};

WmState wmState(xcb_connection_t* connection, xcb_window_t window, const Atoms& atoms) {
  const std::string bytes = propertyBytes(connection, window, atoms.netWmState, XCB_ATOM_ATOM);
  WmState state;
  state.present = !bytes.empty();
  const std::size_t count = bytes.size() / sizeof(xcb_atom_t);
  for (std::size_t i = 0; i < count; ++i) {
    xcb_atom_t atom;
    std::memcpy(&atom, bytes.data() + i * sizeof(xcb_atom_t), sizeof atom);
    state.above = state.above || atom == atoms.netWmStateAbove;
  }
  return state;
}

// Read after the selection of the window's events, so a map it tells of was not seen as an event.
bool isMapped(xcb_connection_t* connection, xcb_window_t window) {
  XcbReply<xcb_get_window_attributes_reply_t> reply(xcb_get_window_attributes_reply(
      connection, xcb_get_window_attributes(connection, window), nullptr));
  return reply && reply->map_state != XCB_MAP_STATE_UNMAPPED;
}

struct Watched {
  bool isTarget = false;
  std::vector<WmState> statesBeforeMap;
};

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s TITLE TIMEOUT_SECONDS\n", argv[0]);
    return 2;
  }
  const std::string title = argv[1];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[2]));

  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    std::fprintf(stderr, "cannot connect to the X display\n");
    xcb_disconnect(connection);
    return 2;
  }
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  const Atoms atoms{internAtom(connection, "_NET_WM_STATE"),
                    internAtom(connection, "_NET_WM_STATE_ABOVE"),
                    internAtom(connection, "_NET_WM_NAME"), internAtom(connection, "UTF8_STRING")};

  const std::uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &rootEvents);
  xcb_flush(connection);
  std::printf("ready\n");
  std::fflush(stdout);

  std::map<xcb_window_t, Watched> watched;
  const auto recordState = [&](xcb_window_t window, Watched& entry) {
    entry.statesBeforeMap.push_back(wmState(connection, window, atoms));
  };

  int result = 2;
  bool done = false;
  while (!done) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      std::fprintf(stderr, "no window titled \"%s\" was mapped in time\n", title.c_str());
      break;
    }
    pollfd descriptor{xcb_get_file_descriptor(connection), POLLIN, 0};
    poll(&descriptor, 1, static_cast<int>(left.count()));
    while (xcb_generic_event_t* raw = xcb_poll_for_event(connection)) {
      std::unique_ptr<xcb_generic_event_t, FreeDeleter> event(raw);
      switch (event->response_type & 0x7f) {
        case XCB_CREATE_NOTIFY: {
          const auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event.get());
          if (created->parent != root) {
            break;
          }
          const std::uint32_t windowEvents =
              XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
          xcb_change_window_attributes(connection, created->window, XCB_CW_EVENT_MASK,
                                       &windowEvents);
          // The title and the state may have been set before the selection took effect.
          Watched& entry = watched[created->window];
          entry.isTarget = windowTitle(connection, created->window, atoms) == title;
          recordState(created->window, entry);
          if (entry.isTarget && isMapped(connection, created->window)) {
            std::printf("missed the first map of 0x%x: it came before the watch\n",
                        created->window);
            result = 3;
            done = true;
          }
          break;
        }
        case XCB_PROPERTY_NOTIFY: {
          const auto* changed = reinterpret_cast<xcb_property_notify_event_t*>(event.get());
          auto found = watched.find(changed->window);
          if (found == watched.end()) {
            break;
          }
          if (changed->atom == atoms.netWmName || changed->atom == XCB_ATOM_WM_NAME) {
            found->second.isTarget = windowTitle(connection, changed->window, atoms) == title;
          } else if (changed->atom == atoms.netWmState) {
            recordState(changed->window, found->second);
          }
          break;
        }
        case XCB_MAP_NOTIFY: {
          const auto* mapped = reinterpret_cast<xcb_map_notify_event_t*>(event.get());
          auto found = watched.find(mapped->window);
          if (found == watched.end() || mapped->event != mapped->window) {
            break;
          }
          if (!found->second.isTarget) {
            found->second.isTarget = windowTitle(connection, mapped->window, atoms) == title;
          }
          if (!found->second.isTarget) {
            break;
          }
          const WmState atMap = wmState(connection, mapped->window, atoms);
          bool everyAbove = atMap.above;
          int presentBefore = 0;
          for (const WmState& state : found->second.statesBeforeMap) {
            if (state.present) {
              ++presentBefore;
              everyAbove = everyAbove && state.above;
            }
          }
          std::printf("window 0x%x\n", mapped->window);
          std::printf("states before map: %d, every one above: %s; above at map: %s\n",
                      presentBefore, everyAbove ? "yes" : "no", atMap.above ? "yes" : "no");
          result = (everyAbove && presentBefore > 0) ? 0 : 1;
          done = true;
          break;
        }
        default:
          break;
      }
      if (done) {
        break;
      }
    }
    if (xcb_connection_has_error(connection)) {
      std::fprintf(stderr, "the X connection failed\n");
      break;
    }
  }
  xcb_disconnect(connection);
  return result;
}
