// X11 keyboard hook: XInput2 raw key presses for watching, passive key grabs for swallowing.
//
// Watching uses XInput2 raw events on the root window rather than XRecord: raw events reach this
// client whatever window has the focus and whoever grabs the keyboard, they name the device that
// sent them (which is how the keys this program types itself are told apart), they come on the same
// connection as the grabs, in the server's order, and the extension is in every current server,
// XWayland included, while XRecord is often left out or disabled.
#include "x11keyboardhook.h"

#include "x11display.h"
#include "x11keymapping.h"
#include "x11presspairing.h"

#include <QSocketNotifier>
#include <QTimer>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <array>
#include <optional>
#include <set>
#include <vector>

namespace {

// Longest wait for the engine's answer to a grabbed key before the key is let through anyway: the
// keyboard of the whole desktop is frozen meanwhile.

// The keys that may be swallowed while the pop-up is up: Tab, Shift, Up and Down.
bool mayBeSwallowed(int virtualKey) {
    return virtualKey == 9 || virtualKey == 16 || virtualKey == 38 || virtualKey == 40;
}

} // namespace

struct X11KeyboardHook::State : std::enable_shared_from_this<X11KeyboardHook::State> {
    struct PendingGrab {
        std::uint64_t press;
        unsigned long time;
    };

    std::shared_ptr<X11Display> display;
    Display* dpy = nullptr;
    KeyHandler handler;
    bool started = false;
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer drainSoon;
    QTimer watchdog;
    X11PressPairing pairing;

    unsigned lockedModifiers = 0;
    int group = 0;
    unsigned numLockMask = 0;
    unsigned scrollLockMask = 0;
    std::array<std::array<char, XkbKeyNameLength>, 256> keyNames{};
    std::set<unsigned> swallowableKeycodes;

    bool popupVisible = false;
    bool grabsHeld = false;
    std::optional<PendingGrab> pendingGrab;
    std::uint64_t nextPress = 1;

    void readQueued();
    void translate(XEvent& event);
    void drain();
    void perform(const X11PressAction& action);
    void answer(std::uint64_t press, bool discard);
    void releaseGrab(bool discard);
    void refreshKeyboard();
    void grabKeys();
    void ungrabKeys();
    int virtualKeyOf(unsigned keycode) const {
        return virtualKeyOf(keycode, (lockedModifiers & numLockMask) != 0);
    }
    int virtualKeyOf(unsigned keycode, bool numLock) const;
    std::vector<unsigned> modifierCombinations() const;
};

X11KeyboardHook::X11KeyboardHook(std::shared_ptr<X11Display> display, int decisionWatchdogMs)
    : m_state(std::make_shared<State>()) {
    m_state->display = std::move(display);
    m_state->dpy = m_state->display->handle();
    m_state->drainSoon.setSingleShot(true);
    m_state->drainSoon.setInterval(0);
    QObject::connect(&m_state->drainSoon, &QTimer::timeout, &m_state->drainSoon,
                     [state = m_state.get()] { state->drain(); });
    m_state->watchdog.setSingleShot(true);
    m_state->watchdog.setInterval(decisionWatchdogMs);
    QObject::connect(&m_state->watchdog, &QTimer::timeout, &m_state->watchdog,
                     [state = m_state.get()] { state->releaseGrab(false); });
}

X11KeyboardHook::~X11KeyboardHook() {
    // A frozen keyboard must never outlive the hook.
    if (m_state->pendingGrab)
        m_state->releaseGrab(false);
    if (m_state->grabsHeld)
        m_state->ungrabKeys();
    m_state->display->setEventsQueuedHandler({});
    if (m_state->started) {
        XIEventMask mask{XIAllMasterDevices, 0, nullptr};
        XISelectEvents(m_state->dpy, DefaultRootWindow(m_state->dpy), &mask, 1);
    }
    XFlush(m_state->dpy);
}

bool X11KeyboardHook::start(KeyHandler handler, std::string& error) {
    State& state = *m_state;
    if (!state.display->hasXInput22()) {
        error = "the X server on " + state.display->name() +
                " lacks XInput 2.2, which is needed to see key presses";
        return false;
    }
    if (!state.display->hasXkb()) {
        error = "the X server on " + state.display->name() + " lacks the XKEYBOARD extension";
        return false;
    }
    state.handler = std::move(handler);
    if (state.started)
        return true;

    std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
    XISetMask(bits.data(), XI_RawKeyPress);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
    XISelectEvents(state.dpy, DefaultRootWindow(state.dpy), &mask, 1);

    XkbSelectEventDetails(state.dpy, XkbUseCoreKbd, XkbStateNotify, XkbAllStateComponentsMask,
                          XkbModifierLockMask | XkbGroupStateMask);
    XkbSelectEvents(state.dpy, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                    XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
    XkbStateRec xkbState{};
    if (XkbGetState(state.dpy, XkbUseCoreKbd, &xkbState) == Success) {
        state.lockedModifiers = xkbState.locked_mods;
        state.group = xkbState.group;
    }
    state.refreshKeyboard();

    state.notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(state.dpy), QSocketNotifier::Read);
    QObject::connect(state.notifier.get(), &QSocketNotifier::activated, state.notifier.get(),
                     [s = m_state.get()] { s->drain(); });
    state.display->setEventsQueuedHandler([s = m_state.get()] { s->drainSoon.start(); });
    state.started = true;
    if (state.popupVisible)
        state.grabKeys();
    XSync(state.dpy, False);
    state.drainSoon.start();
    return true;
}

void X11KeyboardHook::setPopupVisible(bool visible) {
    State& state = *m_state;
    state.popupVisible = visible;
    if (!state.started)
        return;
    if (visible && !state.grabsHeld)
        state.grabKeys();
    else if (!visible && state.grabsHeld)
        state.ungrabKeys();
}

void X11KeyboardHook::State::readQueued() {
    while (XPending(dpy) > 0) {
        XEvent event;
        XNextEvent(dpy, &event);
        translate(event);
    }
}

void X11KeyboardHook::State::translate(XEvent& event) {
    if (event.type == GenericEvent && event.xcookie.extension == display->xinputOpcode()) {
        if (!XGetEventData(dpy, &event.xcookie))
            return;
        if (event.xcookie.evtype == XI_RawKeyPress) {
            const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
            X11InputEvent press;
            press.kind = X11InputEvent::Kind::WatchedPress;
            press.keycode = static_cast<unsigned>(raw->detail);
            press.serial = event.xcookie.serial;
            press.time = raw->time;
            press.injected = display->takeInjectedPress(press.keycode, raw->sourceid);
            pairing.push(press);
        }
        XFreeEventData(dpy, &event.xcookie);
        return;
    }
    if (event.type == KeyPress) {
        X11InputEvent press;
        press.kind = X11InputEvent::Kind::GrabbedPress;
        press.keycode = event.xkey.keycode;
        press.serial = event.xkey.serial;
        press.time = event.xkey.time;
        pairing.push(press);
        return;
    }
    if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
        refreshKeyboard();
        return;
    }
    if (event.type == display->xkbEventBase()) {
        const auto* xkb = reinterpret_cast<const XkbEvent*>(&event);
        if (xkb->any.xkb_type == XkbStateNotify) {
            X11InputEvent locks;
            locks.kind = X11InputEvent::Kind::LockState;
            locks.serial = xkb->any.serial;
            locks.lockedModifiers = xkb->state.locked_mods;
            locks.group = xkb->state.group;
            pairing.push(locks);
        } else if (xkb->any.xkb_type == XkbNewKeyboardNotify || xkb->any.xkb_type == XkbMapNotify) {
            refreshKeyboard();
        }
    }
}

void X11KeyboardHook::State::drain() {
    readQueued();
    unsigned long settledBefore = 0;
    for (;;) {
        if (std::optional<X11PressAction> action = pairing.next(settledBefore)) {
            // The handler may yield to the event loop and come back here nested; the pairing's queue
            // keeps the order either way.
            perform(*action);
            readQueued();
            continue;
        }
        if (!pairing.waitingForTwin())
            return;
        // A press on a grabbed key whose grabbed copy has not been read: one round trip settles it.
        settledBefore = NextRequest(dpy);
        XSync(dpy, False);
        readQueued();
    }
}

void X11KeyboardHook::State::perform(const X11PressAction& action) {
    switch (action.kind) {
    case X11PressAction::Kind::UpdateLocks:
        lockedModifiers = action.event.lockedModifiers;
        group = action.event.group;
        return;
    case X11PressAction::Kind::ReplayUnreported:
        XAllowEvents(dpy, ReplayKeyboard, action.grabTime.value_or(CurrentTime));
        XFlush(dpy);
        return;
    case X11PressAction::Kind::Report:
        break;
    }

    const int virtualKey = virtualKeyOf(action.event.keycode);
    const std::uint64_t press = nextPress++;
    if (action.grabTime) {
        if (pendingGrab)
            releaseGrab(false);
        pendingGrab = PendingGrab{press, *action.grabTime};
        if (!mayBeSwallowed(virtualKey) || !handler) {
            // Grabbed because of another lock state (a keypad key): report it, but never hold it.
            releaseGrab(false);
        } else {
            watchdog.start();
        }
    }
    if (!handler)
        return;
    std::weak_ptr<State> weak = weak_from_this();
    handler(virtualKey, [weak, press](std::int16_t discard) {
        if (const std::shared_ptr<State> state = weak.lock())
            state->answer(press, discard == 1);
    });
}

void X11KeyboardHook::State::answer(std::uint64_t press, bool discard) {
    // Answers of presses that were not grabbed, or that the watchdog already let through, change nothing.
    if (pendingGrab && pendingGrab->press == press)
        releaseGrab(discard);
}

void X11KeyboardHook::State::releaseGrab(bool discard) {
    if (!pendingGrab)
        return;
    watchdog.stop();
    const unsigned long time = pendingGrab->time;
    pendingGrab.reset();
    if (discard) {
        // Ungrabbing at once, rather than AsyncKeyboard first, hands the keys queued behind this one
        // (the pasting Shift+Insert above all) to the focused window instead of to this grab.
        XUngrabKeyboard(dpy, time);
    } else {
        XAllowEvents(dpy, ReplayKeyboard, time);
    }
    XFlush(dpy);
    display->eventsMayBeQueued();
}

int X11KeyboardHook::State::virtualKeyOf(unsigned keycode, bool numLock) const {
    auto keysymAt = [this, keycode](int level) {
        const auto code = static_cast<KeyCode>(keycode);
        KeySym keysym = XkbKeycodeToKeysym(dpy, code, group, level);
        // Keys with fewer groups than the active one (Tab, the keypad) show their first group.
        if (keysym == NoSymbol && group != 0)
            keysym = XkbKeycodeToKeysym(dpy, code, 0, level);
        return keysym;
    };
    X11KeyDescription key;
    key.baseKeysym = keysymAt(0);
    key.shiftedKeysym = keysymAt(1);
    if (keycode < keyNames.size()) {
        const auto& name = keyNames[keycode];
        std::size_t length = 0;
        while (length < name.size() && name[length] != '\0')
            ++length;
        key.name = std::string_view(name.data(), length);
    }
    return virtualKeyFor(key, numLock);
}

void X11KeyboardHook::State::refreshKeyboard() {
    numLockMask = XkbKeysymToModifiers(dpy, XK_Num_Lock);
    scrollLockMask = XkbKeysymToModifiers(dpy, XK_Scroll_Lock);

    keyNames = {};
    if (XkbDescPtr keyboard = XkbGetMap(dpy, 0, XkbUseCoreKbd)) {
        if (XkbGetNames(dpy, XkbKeyNamesMask, keyboard) == Success && keyboard->names &&
            keyboard->names->keys) {
            for (unsigned code = keyboard->min_key_code;
                 code <= keyboard->max_key_code && code < keyNames.size(); ++code) {
                for (std::size_t i = 0; i < XkbKeyNameLength; ++i)
                    keyNames[code][i] = keyboard->names->keys[code].name[i];
            }
        }
        XkbFreeKeyboard(keyboard, 0, True);
    }

    // A keypad key is Up or Down only while NumLock is off, so it is grabbed for both states.
    int minKeycode = 0;
    int maxKeycode = 0;
    XDisplayKeycodes(dpy, &minKeycode, &maxKeycode);
    std::set<unsigned> swallowable;
    for (int code = minKeycode; code <= maxKeycode; ++code) {
        const auto keycode = static_cast<unsigned>(code);
        if (mayBeSwallowed(virtualKeyOf(keycode, false)) || mayBeSwallowed(virtualKeyOf(keycode, true)))
            swallowable.insert(keycode);
    }

    if (swallowable != swallowableKeycodes) {
        const bool regrab = grabsHeld;
        if (regrab)
            ungrabKeys();
        swallowableKeycodes = std::move(swallowable);
        if (regrab)
            grabKeys();
    }
    display->eventsMayBeQueued();
}

std::vector<unsigned> X11KeyboardHook::State::modifierCombinations() const {
    // The grab must match whatever locks are on: every combination of CapsLock, NumLock and
    // ScrollLock. Shift, Ctrl and Alt too: the handler knows no modifiers, so Shift+Tab must not
    // complete the word and still move the focus, the paste then landing in the next field. A
    // combination another client grabs already (Alt+Tab by a window manager) fails alone.
    std::vector<unsigned> masks{LockMask, ShiftMask, ControlMask, Mod1Mask};
    if (numLockMask)
        masks.push_back(numLockMask);
    if (scrollLockMask && scrollLockMask != numLockMask)
        masks.push_back(scrollLockMask);
    std::vector<unsigned> combinations;
    for (unsigned subset = 0; subset < (1u << masks.size()); ++subset) {
        unsigned modifiers = 0;
        for (std::size_t i = 0; i < masks.size(); ++i) {
            if (subset & (1u << i))
                modifiers |= masks[i];
        }
        combinations.push_back(modifiers);
    }
    return combinations;
}

void X11KeyboardHook::State::grabKeys() {
    const Window root = DefaultRootWindow(dpy);
    const std::vector<unsigned> combinations = modifierCombinations();
    for (const unsigned keycode : swallowableKeycodes) {
        for (const unsigned modifiers : combinations)
            XGrabKey(dpy, static_cast<int>(keycode), modifiers, root, False, GrabModeAsync, GrabModeSync);
    }
    // Settled before the pop-up can be seen, so that the next key is caught. A grab that another
    // client already holds fails alone (the error is counted, not fatal) and that key goes through.
    XSync(dpy, False);
    grabsHeld = true;
    pairing.setGrabbedKeycodes(swallowableKeycodes);
    display->eventsMayBeQueued();
}

void X11KeyboardHook::State::ungrabKeys() {
    const Window root = DefaultRootWindow(dpy);
    // Every grab of ours on these keys goes, even if the lock masks changed since they were made.
    for (const unsigned keycode : swallowableKeycodes)
        XUngrabKey(dpy, static_cast<int>(keycode), AnyModifier, root);
    XFlush(dpy);
    grabsHeld = false;
    pairing.setGrabbedKeycodes({});
    display->eventsMayBeQueued();
}
