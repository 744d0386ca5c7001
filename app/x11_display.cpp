#include "app/x11_display.h"

#include <xcb/xcb.h>

#include "program_identity.h"

namespace orlo {

std::optional<std::string> x11DisplayProblem(const std::optional<std::string>& display) {
  if (!display || display->empty()) {
    return std::string(identity::kProductName) +
           " needs a graphical session: DISPLAY is not set, so there is no X display to open.";
  }
  xcb_connection_t* connection = xcb_connect(display->c_str(), nullptr);
  const bool opened = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  if (opened) {
    return std::nullopt;
  }
  return std::string(identity::kProductName) +
         " needs a graphical session: cannot open the X display \"" + *display +
         "\" named by DISPLAY.";
}

}  // namespace orlo
