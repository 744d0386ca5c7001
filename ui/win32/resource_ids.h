#pragma once

// The resources the window takes from the program's executable, by the numbers its resource script
// gives them. Read by the resource compiler too: preprocessor definitions only.

// The program's icon: the window's icon in its title bar and the task bar, and, as the icon with
// the lowest number, the one the shell shows for the executable.
#define ORLO_PROGRAM_ICON 1
