// The one place that decides which keyboard backends the program uses.
#include "backends.h"

#include "platform/focusguard.h"

#include <cstdlib>
#include <string_view>

#ifdef QUENLO_HAVE_IBUS
#include "platform/ibus/ibuskeyboardhook.h"
#endif
#ifdef QUENLO_HAVE_X11
#include "platform/x11/x11clipboard.h"
#include "platform/x11/x11display.h"
#include "platform/x11/x11focusguard.h"
#include "platform/x11/x11keyboardhook.h"
#include "platform/x11/x11keyinjector.h"
#endif
#ifdef QUENLO_HAVE_XDG
#include "platform/xdg/xdgautostart.h"
#endif
#ifdef QUENLO_HAVE_WIN32
#include "platform/win32/win32clipboard.h"
#include "platform/win32/win32focusguard.h"
#include "platform/win32/win32keyboardhook.h"
#include "platform/win32/win32keyinjector.h"
#include "platform/win32/win32pastegate.h"
#include "platform/win32/win32runautostart.h"
#endif

#ifdef QUENLO_HAVE_IBUS
namespace {

// A Wayland session hides native clients' keys from X11; its input method sees them.
bool isWaylandSession() {
    const char* waylandDisplay = std::getenv("WAYLAND_DISPLAY");
    const char* sessionType = std::getenv("XDG_SESSION_TYPE");
    return (waylandDisplay && *waylandDisplay) || (sessionType && std::string_view(sessionType) == "wayland");
}

} // namespace
#endif

KeyboardBackends createKeyboardBackends(const KeyboardBackendOptions& options) {
    KeyboardBackends backends;
#ifdef QUENLO_HAVE_IBUS
    // One route per run: a key seen by both hooks would be handled twice.
    if (options.useInputMethod || options.startedByInputMethod || isWaylandSession()) {
        auto hook =
            std::make_unique<IBusKeyboardHook>(options.decisionWatchdogMs, options.startedByInputMethod);
        backends.injector = hook->createTextCommitter();
        backends.hook = std::move(hook);
        // Never pasted into: the engine commits its text.
        backends.clipboard = std::make_unique<QtClipboard>();
        return backends;
    }
#endif
#ifdef QUENLO_HAVE_X11
    // Under a Wayland session this is XWayland: only the X11 applications' keys are seen.
    std::string error;
    if (std::shared_ptr<X11Display> display = X11Display::open(options.display, error)) {
        if (!display->hasXInput22() || !display->hasXkb()) {
            backends.problem = "the X server on " + display->name() +
                               " lacks the XInput 2.2 or XKEYBOARD extension, so key presses cannot be seen";
        } else {
            backends.hook = std::make_unique<X11KeyboardHook>(display, options.decisionWatchdogMs);
            // Without a clipboard of its own the paste would take what the user had copied.
            std::string clipboardError;
            backends.clipboard = X11Clipboard::open(display, clipboardError);
            if (!backends.clipboard)
                backends.problem = clipboardError;
            else if (display->hasXTest())
                backends.injector = std::make_unique<X11KeyInjector>(display);
            else
                backends.problem = "the X server on " + display->name() +
                                   " lacks the XTEST extension, so completed words cannot be typed";
        }
    } else {
        backends.problem = error;
    }
#elif defined(QUENLO_HAVE_WIN32)
    // The hook learns through the gate whether a swallowed key sent a paste, which later keys follow,
    // and the clipboard when that paste has passed the hook, which the application's read follows.
    auto gate = std::make_shared<Win32PasteGate>(&Win32KeyInjector::injectShiftInsert);
    backends.hook = std::make_unique<Win32KeyboardHook>(gate, options.decisionWatchdogMs);
    backends.injector = std::make_unique<Win32KeyInjector>(gate);
    backends.clipboard = std::make_unique<Win32Clipboard>(gate);
#else
    (void)options;
    backends.problem = "this build has no keyboard backend for this desktop";
#endif
    if (!backends.hook)
        backends.hook = std::make_unique<NullKeyboardHook>();
    if (!backends.injector)
        backends.injector = std::make_unique<NullKeyInjector>();
    if (!backends.clipboard)
        backends.clipboard = std::make_unique<QtClipboard>();
    return backends;
}

std::unique_ptr<FocusGuard> createFocusGuard(const std::string& display) {
#ifdef QUENLO_HAVE_X11
    return std::make_unique<X11FocusGuard>(display);
#elif defined(QUENLO_HAVE_WIN32)
    (void)display;
    return std::make_unique<Win32FocusGuard>();
#else
    (void)display;
    return std::make_unique<NullFocusGuard>();
#endif
}

std::unique_ptr<SessionAutostart> createSessionAutostart(const SessionAutostartOptions& options) {
#ifdef QUENLO_HAVE_XDG
    return std::make_unique<XdgAutostart>(
        options.configDir,
        XdgAutostart::Entry{options.appId, options.name, options.comment, options.programPath});
#elif defined(QUENLO_HAVE_WIN32)
    return std::make_unique<Win32RunAutostart>(options.name, options.programPath);
#else
    (void)options;
    return std::make_unique<NullSessionAutostart>();
#endif
}
