// Keeps a top-level window from ever taking the keyboard focus: the window system's own style, which
// stops the activation a click would still bring.
#include "platform/nonactivatingwindow.h"

#include <QWidget>

#include <windows.h>

void keepFromActivation(QWidget& window) {
    const HWND handle = reinterpret_cast<HWND>(window.winId());
    const LONG_PTR styles = GetWindowLongPtrW(handle, GWL_EXSTYLE);
    if (!(styles & WS_EX_NOACTIVATE))
        SetWindowLongPtrW(handle, GWL_EXSTYLE, styles | WS_EX_NOACTIVATE);
}
