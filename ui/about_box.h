#pragma once

#include "ui/message_presenter.h"

namespace orlo {

// The program's version as the about box and the application report it.
inline constexpr char kProgramVersion[] = "1.00";

// The about box: title "Orlo - Monitor", no icon, seven lines.
MessageBoxContent aboutBoxContent();

}  // namespace orlo
