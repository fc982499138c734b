// Window activation at the user's request where no window system backend knows better.
#include "windowactivation.h"

#include <QWidget>

void activateAtUsersRequest(QWidget& window) {
    if (window.isMinimized())
        window.showNormal();
    else
        window.show();
    window.raise();
    window.activateWindow();
}
