#pragma once

class QWidget;

namespace orlo {

// On X11 at a fractional scale factor, Qt asks the window manager to size the window in steps of
// the factor rounded up to whole pixels (2 at 1.5 and at 1.75). The window manager then rounds
// every size Qt asks for to that step: ">>" changed the width with the height, and heights of
// the twips layout were missed. A window of fixed sizes needs no step: this drops it from the
// window's size hints and asks again for the size the hints fix. Nothing elsewhere.
void keepExactX11Size(QWidget& window);

}  // namespace orlo
