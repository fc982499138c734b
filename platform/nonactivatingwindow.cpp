// Keeps a top-level window from taking the keyboard focus where Qt's window flags are enough.
#include "nonactivatingwindow.h"

void keepFromActivation(QWidget& window) {
    (void)window;
}
