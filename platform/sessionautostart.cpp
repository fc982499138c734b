// The session autostart for desktops without one.
#include "sessionautostart.h"

bool NullSessionAutostart::setEnabled(bool enabled, QString& error) {
    if (!enabled)
        return true;
    error = QStringLiteral("this desktop has no way to start programs with the session");
    return false;
}
