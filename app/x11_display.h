#pragma once

#include <optional>
#include <string>

namespace orlo {

// Tries to open the X display named by the DISPLAY value (nothing when DISPLAY is unset), as
// Qt's X11 platform would. Returns nothing when it opens, or else the one line that tells the
// user which display was tried and that a graphical session is needed.
std::optional<std::string> x11DisplayProblem(const std::optional<std::string>& display);

}  // namespace orlo
