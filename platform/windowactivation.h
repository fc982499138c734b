// Brings the program's own window to the front when the user asked for it from outside the window.
#pragma once

class QWidget;

// Shows, raises and focuses window for a request the user made elsewhere (starting the program
// again). Qt's own activation carries the time of the last event the program saw, older than the
// user's last click, so the X server and window managers that prevent focus stealing refuse it.
void activateAtUsersRequest(QWidget& window);
