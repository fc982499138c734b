// Window activation at the user's request on X11: asked of the window manager as a taskbar asks it,
// or, without one, set directly. Built in place of the plain one wherever the X11 backend is.
#include "platform/windowactivation.h"

#include <QGuiApplication>
#include <QWidget>

#include <QtGui/qguiapplication_platform.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

bool windowManagerRuns(Display* display) {
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None)
        return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const bool found = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW,
                                          &type, &format, &count, &after, &data) == Success &&
                       count == 1;
    if (data)
        XFree(data);
    return found;
}

} // namespace

void activateAtUsersRequest(QWidget& window) {
    if (window.isMinimized())
        window.showNormal();
    else
        window.show();
    window.raise();
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 && x11->display()) {
        Display* display = x11->display();
        const Window id = static_cast<Window>(window.winId());
        if (windowManagerRuns(display)) {
            // Source 2 is a pager's or taskbar's request: the user's own, which the manager grants.
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = id;
            event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
            event.xclient.format = 32;
            event.xclient.data.l[0] = 2;
            event.xclient.data.l[1] = CurrentTime;
            XSendEvent(display, DefaultRootWindow(display), False,
                       SubstructureRedirectMask | SubstructureNotifyMask, &event);
        } else {
            XSetInputFocus(display, id, RevertToParent, CurrentTime);
        }
        XFlush(display);
        return;
    }
    // No X display (a Wayland session): Qt's own activation.
    window.activateWindow();
}
