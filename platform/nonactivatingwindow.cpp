// Keeps a top-level window from ever taking the keyboard focus from the application the user types in.
#include "nonactivatingwindow.h"

#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

void keepFromActivation(QWidget& window) {
#ifdef Q_OS_WIN
    const HWND handle = reinterpret_cast<HWND>(window.winId());
    const LONG_PTR styles = GetWindowLongPtrW(handle, GWL_EXSTYLE);
    if (!(styles & WS_EX_NOACTIVATE))
        SetWindowLongPtrW(handle, GWL_EXSTYLE, styles | WS_EX_NOACTIVATE);
#else
    (void)window;
#endif
}
