// Keeps a top-level window from ever taking the keyboard focus from the application the user types in.
#pragma once

class QWidget;

// Qt's flags keep the window from being activated when shown, but on Windows a click still
// activates it; the window system's own style stops that. Call before each show: a change of
// window flags rebuilds the style.
void keepFromActivation(QWidget& window);
