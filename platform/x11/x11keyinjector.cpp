// XTest Shift+Insert, with the user's other held modifiers let go so that the application sees
// exactly Shift+Insert.
#include "x11keyinjector.h"

#include "x11display.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <array>

X11KeyInjector::X11KeyInjector(std::shared_ptr<X11Display> display)
    : m_display(std::move(display)) {}

X11KeyInjector::~X11KeyInjector() = default;

bool X11KeyInjector::sendShiftInsert() {
    if (!m_display->hasXTest())
        return false;
    if (const auto& route = m_display->pasteRoute()) {
        route();
        return true;
    }
    const std::optional<std::vector<KeyEvent>> events = planShiftInsert(*m_display);
    if (!events)
        return false;
    send(*m_display, *events);
    XFlush(m_display->handle());
    return true;
}

std::optional<std::vector<X11KeyInjector::KeyEvent>> X11KeyInjector::planShiftInsert(X11Display& display,
                                                                                     bool ownShift) {
    if (!display.hasXTest())
        return std::nullopt;
    Display* dpy = display.handle();
    const KeyCode shift = XKeysymToKeycode(dpy, XK_Shift_L);
    const KeyCode insert = XKeysymToKeycode(dpy, XK_Insert);
    if (shift == 0 || insert == 0)
        return std::nullopt;

    std::array<char, 32> keysDown{};
    XQueryKeymap(dpy, keysDown.data());
    auto isDown = [&keysDown](KeyCode code) {
        return (keysDown[code / 8] >> (code % 8)) & 1;
    };

    // Which held keys set a modifier: Shift is kept (it is half of the keystroke), the locks are left.
    const unsigned lockModifiers =
        LockMask | XkbKeysymToModifiers(dpy, XK_Num_Lock) | XkbKeysymToModifiers(dpy, XK_Scroll_Lock);
    bool shiftHeld = false;
    std::vector<KeyCode> othersHeld;
    if (XModifierKeymap* modifiers = XGetModifierMapping(dpy)) {
        for (int index = 0; index < 8; ++index) {
            const unsigned mask = 1u << index;
            for (int i = 0; i < modifiers->max_keypermod; ++i) {
                const KeyCode code = modifiers->modifiermap[index * modifiers->max_keypermod + i];
                if (code == 0 || !isDown(code))
                    continue;
                if (mask == ShiftMask)
                    shiftHeld = !ownShift;
                else if (!(mask & lockModifiers))
                    othersHeld.push_back(code);
            }
        }
        XFreeModifiermap(modifiers);
    }

    // The server lets a key go only through the device that pressed it, but the core keyboard follows
    // every press and release it is given: a press and release here clears a modifier that another
    // keyboard still holds, until the user presses it again.
    std::vector<KeyEvent> events;
    for (const KeyCode code : othersHeld) {
        events.push_back({code, true});
        events.push_back({code, false});
    }
    if (!shiftHeld)
        events.push_back({shift, true});
    events.push_back({insert, true});
    events.push_back({insert, false});
    if (!shiftHeld)
        events.push_back({shift, false});
    return events;
}

void X11KeyInjector::send(X11Display& display, const std::vector<KeyEvent>& events) {
    Display* dpy = display.handle();
    for (const KeyEvent& event : events) {
        if (event.press)
            display.expectInjectedPress(event.keycode);
        XTestFakeKeyEvent(dpy, event.keycode, event.press ? True : False, CurrentTime);
    }
}
