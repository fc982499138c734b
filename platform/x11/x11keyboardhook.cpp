// X11 keyboard hook: XInput2 raw key presses for watching, passive key grabs for swallowing.
//
// Watching uses XInput2 raw events on the root window rather than XRecord: raw events reach this
// client whatever window has the focus and whoever grabs the keyboard, they name the device that
// sent them (which is how the keys this program types itself are told apart), they come on the same
// connection as the grabs, in the server's order, and the extension is in every current server,
// XWayland included, while XRecord is often left out or disabled.
//
// A grabbed key freezes the keyboard of the whole desktop until it is answered, and only the
// connection that holds the grab can answer it. So the connection belongs to a thread of its own: it
// reads the events, holds the grabs, hands each press to the UI thread and lets a held key through
// when the answer is late, whatever the UI thread is doing. Each held press carries a ticket that the
// UI thread's answer and the watchdog both try to settle; whichever comes first decides, so a key is
// swallowed or passed, never both.
//
// A swallowed completion key is followed by the pasting Shift+Insert. Keys typed meanwhile would
// reach the application before it, and the application asks for the pasted text only after it has
// read Shift+Insert; so from the swallow on the keyboard stays grabbed, the keys typed are kept, the
// paste is typed in a gap of the grab, and the kept keys are typed again once the application has
// fetched the text (or after a bound).
//
// What a press types is worked out on the same thread, in the server's order, from the keyboard map,
// the modifiers and group in effect when it came, and a compose state that sees every press the
// application sees: the UI thread gets the text with the press.
#include "x11keyboardhook.h"

#include "x11display.h"
#include "x11keyinjector.h"
#include "x11keymapping.h"
#include "x11presspairing.h"

#include "platform/xkb/xkbcompose.h"

#include <QObject>

// Xlib's key-number type takes the name of the key vocabulary: here it is X11KeyCode.
#define KeyCode X11KeyCode
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#undef KeyCode

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <set>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Longest time the keys typed after a completion are kept back for the paste to land. The hold ends
// as soon as the application has fetched the text; the bound is for one that never does, and is long
// enough for one that is slow, since a key typed before the text would land before it.
constexpr auto holdBound = std::chrono::milliseconds(1000);
// The application may ask for the text in several steps (its formats first): it has what it wants
// once it stops asking for this long.
constexpr auto pasteQuiet = std::chrono::milliseconds(15);
// How long showing the pop-up waits for its grabs to be in place.
constexpr auto grabsSettleBound = std::chrono::milliseconds(100);

enum TicketState : int { Pending, Swallowed, Passed };

struct KeyboardMapFree {
    void operator()(XkbDescPtr keyboard) const { XkbFreeKeyboard(keyboard, 0, True); }
};

struct Ticket {
    std::atomic<int> state{Passed};
    std::uint64_t sequence = 0;
};

} // namespace

struct X11KeyboardHook::State : std::enable_shared_from_this<X11KeyboardHook::State> {
    enum class CommandKind { PopupVisible, CompletionKey, NumberKeys, Decided, Paste, SelectionServed, Stop };
    struct Command {
        CommandKind kind;
        bool visible = false;   // the pop-up's, or whether the digits pick a row
        unsigned long time = 0; // of a served request: the requestor's time stamp
        int key = 0;            // the completion key
    };
    struct PendingGrab {
        std::shared_ptr<Ticket> ticket;
        unsigned long time;
        unsigned keycode;
        int virtualKey;
        unsigned long keysym; // typed into the compose state only once it is let through
        Clock::time_point deadline;
        bool typed = false; // typed into the compose state already
    };
    struct KeptKey {
        unsigned keycode;
        bool press;
    };
    struct Hold {
        Clock::time_point started;
        std::vector<KeptKey> keys;
        // The swallowed key: its repeats and its release are swallowed with it.
        std::set<unsigned> swallowedDown;
        // Shift completed: its release may come any moment, so the paste brings a Shift of its own.
        bool completedByShift = false;
        bool pasted = false;
        Clock::time_point pastedAt;
        // Server time of the paste's keys, as they came back: an application's request stamped
        // earlier fetches an earlier paste.
        std::optional<unsigned long> pasteTime;
        std::optional<Clock::time_point> lastServed;
        // Set once the grab is let go: events the server sent after that request are not the hold's.
        std::optional<unsigned long> endRequest;
        bool keeps(unsigned long serial) const { return !endRequest || serial < *endRequest; }
    };

    // Shared by both threads.
    std::shared_ptr<X11Display> display;
    Display* dpy = nullptr;
    std::chrono::milliseconds watchdog;
    std::mutex mutex;
    std::condition_variable grabsSettled;
    std::deque<Command> commands;
    std::uint64_t popupRequests = 0; // under mutex: pop-up changes asked for, and done by the thread
    std::uint64_t popupDone = 0;
    int wakeFd = -1;
    std::atomic<std::uint64_t> lastAnswered{0};

    // UI thread only.
    KeyHandler handler;
    std::string typedText; // while the handler runs
    bool started = false;
    bool popupVisibleBeforeStart = false;
    int completionKeyBeforeStart = KeyCode::CompletionKeyUntold;
    bool numberKeysBeforeStart = false;
    std::unique_ptr<QObject> uiReceiver;
    std::thread thread;

    // The hook's thread only, once started.
    X11PressPairing pairing;
    unsigned lockedModifiers = 0;
    unsigned modifiers = 0;
    int group = 0;
    unsigned numLockMask = 0;
    unsigned scrollLockMask = 0;
    std::array<std::array<char, XkbKeyNameLength>, 256> keyNames{};
    std::unique_ptr<XkbDescRec, KeyboardMapFree> keyboardMap;
    std::string locale; // set by start(): whose compose table the thread loads
    std::unique_ptr<XkbCompose> composer;
    Atom activeWindowAtom = None;
    std::set<unsigned> swallowableKeycodes;
    int completionKey = KeyCode::CompletionKeyUntold;
    bool numberKeys = false;
    bool grabsHeld = false;
    std::optional<PendingGrab> pending;
    std::optional<Hold> hold;
    std::uint64_t nextSequence = 1;
    // Held presses are let through at once while the UI thread has not answered the press whose
    // watchdog expired: a busy UI thread must not cost every key of a burst its own wait.
    std::uint64_t stalledAt = 0;

    ~State() {
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    void post(Command command);
    void run();
    bool takeCommands();
    void readQueued();
    void translate(XEvent& event);
    void drain();
    void perform(const X11PressAction& action);
    void report(int virtualKey, std::string text, const std::shared_ptr<Ticket>& ticket);
    unsigned long keysymOf(unsigned keycode) const;
    std::string typedBy(unsigned long keysym);
    void settlePending(bool force);
    void startHold(const PendingGrab& grab);
    void paste();
    void progressHold();
    void finishHold();
    void replayKept(std::vector<KeptKey>& keys);
    int msUntilNextDeadline() const;
    void shutdown();
    void refreshKeyboard();
    bool mayBeSwallowed(int virtualKey) const;
    void updateSwallowable();
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
    m_state->watchdog = std::chrono::milliseconds(decisionWatchdogMs);
    m_state->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_state->uiReceiver = std::make_unique<QObject>();
}

X11KeyboardHook::~X11KeyboardHook() {
    State& state = *m_state;
    state.display->setPasteRoute({});
    state.display->setPasteFetchedListener({});
    if (state.thread.joinable()) {
        // The thread lets every held key go before it ends: a frozen keyboard must never outlive the hook.
        state.post({State::CommandKind::Stop});
        state.thread.join();
    }
    // Decisions still queued for the UI thread go with their receiver.
    state.uiReceiver.reset();
}

std::string X11KeyboardHook::pressText() const {
    return m_state->typedText;
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
    if (state.wakeFd < 0) {
        error = "the keyboard hook cannot make its wake-up channel";
        return false;
    }
    state.handler = std::move(handler);
    if (state.started)
        return true;

    std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
    XISetMask(bits.data(), XI_RawKeyPress);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
    XISelectEvents(state.dpy, DefaultRootWindow(state.dpy), &mask, 1);
    // The window manager names the active window there: the application it leaves forgets a sequence
    // under way, and so does the compose state.
    state.activeWindowAtom = XInternAtom(state.dpy, "_NET_ACTIVE_WINDOW", False);
    XSelectInput(state.dpy, DefaultRootWindow(state.dpy), PropertyChangeMask);

    XkbSelectEventDetails(state.dpy, XkbUseCoreKbd, XkbStateNotify, XkbAllStateComponentsMask,
                          XkbModifierStateMask | XkbModifierLockMask | XkbGroupStateMask);
    XkbSelectEvents(state.dpy, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                    XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
    XkbStateRec xkbState{};
    if (XkbGetState(state.dpy, XkbUseCoreKbd, &xkbState) == Success) {
        state.lockedModifiers = xkbState.locked_mods;
        state.modifiers = xkbState.mods;
        state.group = xkbState.group;
    }
    state.locale = XkbCompose::localeOfEnvironment();
    state.completionKey = state.completionKeyBeforeStart;
    state.numberKeys = state.numberKeysBeforeStart;
    state.refreshKeyboard();
    if (state.popupVisibleBeforeStart)
        state.grabKeys();
    XSync(state.dpy, False);

    state.started = true;
    std::weak_ptr<State> weak = m_state;
    state.display->setPasteRoute([weak] {
        if (const auto alive = weak.lock())
            alive->post({State::CommandKind::Paste});
    });
    state.display->setPasteFetchedListener([weak](unsigned long time) {
        if (const auto alive = weak.lock())
            alive->post({State::CommandKind::SelectionServed, false, time});
    });
    state.thread = std::thread([s = m_state.get()] { s->run(); });
    return true;
}

void X11KeyboardHook::setPopupVisible(bool visible) {
    State& state = *m_state;
    if (!state.started) {
        state.popupVisibleBeforeStart = visible;
        return;
    }
    std::unique_lock lock(state.mutex);
    const std::uint64_t request = ++state.popupRequests;
    state.commands.push_back({State::CommandKind::PopupVisible, visible});
    lock.unlock();
    const std::uint64_t one = 1;
    (void)!::write(state.wakeFd, &one, sizeof one);
    if (!visible)
        return;
    // The grabs are in place before the pop-up can be seen, so that the next key is caught; the wait
    // is short and bounded, and the thread that is waited for never waits for this one.
    lock.lock();
    state.grabsSettled.wait_for(lock, grabsSettleBound,
                                [&state, request] { return state.popupDone >= request; });
}

void X11KeyboardHook::setCompletionKey(int keyCode) {
    State& state = *m_state;
    if (!state.started)
        state.completionKeyBeforeStart = keyCode;
    else
        state.post({State::CommandKind::CompletionKey, false, 0, keyCode});
}

void X11KeyboardHook::setNumberKeys(bool on) {
    State& state = *m_state;
    if (!state.started)
        state.numberKeysBeforeStart = on;
    else
        state.post({State::CommandKind::NumberKeys, on});
}

void X11KeyboardHook::State::post(Command command) {
    {
        const std::lock_guard lock(mutex);
        commands.push_back(command);
    }
    const std::uint64_t one = 1;
    (void)!::write(wakeFd, &one, sizeof one);
}

void X11KeyboardHook::State::run() {
    // Named, so that a profile or a debugger tells this thread from the others.
    pthread_setname_np(pthread_self(), "keyboard hook");
    // Read from disk here rather than in start(), which the program's start waits for.
    composer = std::make_unique<XkbCompose>(locale);
    std::array<pollfd, 2> fds{pollfd{ConnectionNumber(dpy), POLLIN, 0}, pollfd{wakeFd, POLLIN, 0}};
    for (;;) {
        if (!takeCommands())
            break;
        settlePending(false);
        progressHold();
        // Last, since the steps before may have read events; it leaves nothing unhandled.
        drain();
        if (XPending(dpy) > 0)
            continue;
        fds[0].revents = fds[1].revents = 0;
        ::poll(fds.data(), fds.size(), msUntilNextDeadline());
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            (void)!::read(wakeFd, &count, sizeof count);
        }
    }
    shutdown();
}

bool X11KeyboardHook::State::takeCommands() {
    for (;;) {
        Command command;
        {
            const std::lock_guard lock(mutex);
            if (commands.empty())
                return true;
            command = commands.front();
            commands.pop_front();
        }
        switch (command.kind) {
        case CommandKind::Stop:
            return false;
        case CommandKind::PopupVisible:
            if (command.visible && !grabsHeld)
                grabKeys();
            else if (!command.visible && grabsHeld)
                ungrabKeys();
            {
                const std::lock_guard lock(mutex);
                ++popupDone;
            }
            grabsSettled.notify_all();
            break;
        case CommandKind::CompletionKey:
            completionKey = command.key;
            updateSwallowable();
            break;
        case CommandKind::NumberKeys:
            numberKeys = command.visible;
            updateSwallowable();
            break;
        case CommandKind::Decided:
            // Before a paste that the same answer asked for, which must find the keyboard held.
            settlePending(false);
            break;
        case CommandKind::Paste:
            paste();
            break;
        case CommandKind::SelectionServed:
            // Time stamps are 32-bit milliseconds that wrap; CurrentTime (0) says nothing.
            if (hold && hold->pasted &&
                (command.time == CurrentTime || !hold->pasteTime ||
                 static_cast<std::int32_t>(static_cast<std::uint32_t>(command.time - *hold->pasteTime)) >= 0))
                hold->lastServed = Clock::now();
            break;
        }
    }
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
            if (hold && hold->pasted && press.injected)
                hold->pasteTime = raw->time;
            // A completion's grab takes the raw presses of the keys it keeps from this client; one that
            // slips through is reported through the grab's copy below.
            if (!hold || !hold->keeps(event.xcookie.serial))
                pairing.push(press);
        }
        XFreeEventData(dpy, &event.xcookie);
        return;
    }
    if (event.type == KeyPress || event.type == KeyRelease) {
        // While a completion holds the keyboard every key comes here through that grab: reported from
        // here, in order with everything else, and typed again later.
        if (hold && hold->keeps(event.xkey.serial)) {
            hold->keys.push_back({event.xkey.keycode, event.type == KeyPress});
            if (event.type == KeyPress) {
                X11InputEvent press;
                press.kind = X11InputEvent::Kind::WatchedPress;
                press.keycode = event.xkey.keycode;
                press.serial = event.xkey.serial;
                press.time = event.xkey.time;
                pairing.push(press);
            }
            return;
        }
        if (event.type == KeyRelease)
            return;
        X11InputEvent press;
        press.kind = X11InputEvent::Kind::GrabbedPress;
        press.keycode = event.xkey.keycode;
        press.serial = event.xkey.serial;
        press.time = event.xkey.time;
        pairing.push(press);
        return;
    }
    if (event.type == PropertyNotify) {
        if (event.xproperty.atom == activeWindowAtom)
            composer->reset();
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
            locks.modifiers = xkb->state.mods;
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
        modifiers = action.event.modifiers;
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
    const unsigned long keysym = keysymOf(action.event.keycode);
    auto ticket = std::make_shared<Ticket>();
    ticket->sequence = nextSequence++;
    // A held key (Tab, Up, Down, Shift) types no letter, and one that is swallowed never reaches the
    // application's compose state: it is typed into ours once it is let through. A held digit picks a row
    // only when it types its digit (not "&" or "!"), so its text comes with it; typed into our compose
    // state at once, it leaves that state as the application's either way, since a press that types its
    // digit neither ends a sequence nor starts one, and one that types anything else is let through.
    std::string text;
    if (action.grabTime) {
        // The keyboard is frozen while a press is held, so none should be; never two at once.
        settlePending(true);
        const bool stalled = lastAnswered.load() < stalledAt;
        if (mayBeSwallowed(virtualKey) && !stalled) {
            ticket->state = Pending;
            pending = PendingGrab{ticket, *action.grabTime, action.event.keycode, virtualKey, keysym,
                                  Clock::now() + watchdog};
            if (KeyCode::pickedRow(virtualKey) >= 0) {
                text = typedBy(keysym);
                pending->typed = true;
            }
        } else {
            // Grabbed because of another lock state (a keypad key), or the UI thread is behind: report
            // it, but never hold it.
            XAllowEvents(dpy, ReplayKeyboard, *action.grabTime);
            XFlush(dpy);
        }
    }
    if (ticket->state != Pending)
        text = typedBy(keysym);
    report(virtualKey, std::move(text), ticket);
}

unsigned long X11KeyboardHook::State::keysymOf(unsigned keycode) const {
    unsigned consumed = 0;
    KeySym keysym = NoSymbol;
    if (!keyboardMap || !XkbTranslateKeyCode(keyboardMap.get(), static_cast<X11KeyCode>(keycode),
                                             XkbBuildCoreState(modifiers, group), &consumed, &keysym))
        return NoSymbol;
    // Caps Lock that the key's type leaves alone still gives the capital, as in Xlib's own lookup.
    if (modifiers & LockMask & ~consumed) {
        KeySym lower = NoSymbol;
        XConvertCase(keysym, &lower, &keysym);
    }
    return keysym;
}

std::string X11KeyboardHook::State::typedBy(unsigned long keysym) {
    // Applications type no text for a shortcut, and it takes no part in a sequence.
    if (modifiers & (ControlMask | Mod1Mask))
        return {};
    // A press that matches no sequence types nothing, as in the application; the next one starts afresh.
    return composer->press(keysym).text;
}

void X11KeyboardHook::State::report(int virtualKey, std::string text, const std::shared_ptr<Ticket>& ticket) {
    std::weak_ptr<State> weak = weak_from_this();
    QMetaObject::invokeMethod(
        uiReceiver.get(),
        [weak, virtualKey, text = std::move(text), ticket] {
            const std::shared_ptr<State> state = weak.lock();
            if (!state || !state->handler)
                return;
            state->typedText = text;
            state->handler(
                virtualKey, KeyDecision([weak, ticket](std::int16_t discard) {
                    int expected = Pending;
                    const bool settled =
                        ticket->state.compare_exchange_strong(expected, discard == 1 ? Swallowed : Passed);
                    if (const std::shared_ptr<State> alive = weak.lock()) {
                        std::uint64_t seen = alive->lastAnswered.load();
                        while (seen < ticket->sequence &&
                               !alive->lastAnswered.compare_exchange_weak(seen, ticket->sequence)) {
                        }
                        if (settled)
                            alive->post({CommandKind::Decided});
                    }
                    // A discard that found the key already let through came too late.
                    return discard != 1 || settled;
                }));
        },
        Qt::QueuedConnection);
}

void X11KeyboardHook::State::settlePending(bool force) {
    if (!pending)
        return;
    int state = pending->ticket->state.load();
    if (state == Pending) {
        if (!force && Clock::now() < pending->deadline)
            return;
        int expected = Pending;
        if (pending->ticket->state.compare_exchange_strong(expected, Passed)) {
            state = Passed;
            stalledAt = pending->ticket->sequence;
        } else {
            state = expected;
        }
    }
    const PendingGrab grab = *pending;
    pending.reset();
    if (state == Passed && !grab.typed)
        typedBy(grab.keysym);
    if (state == Swallowed && KeyCode::completes(grab.virtualKey)) {
        startHold(grab);
    } else if (state == Swallowed) {
        // Ungrabbing at once, rather than AsyncKeyboard first, hands the keys queued behind this one to
        // the focused window instead of to this grab, which would last until the key is released.
        XUngrabKeyboard(dpy, grab.time);
    } else {
        XAllowEvents(dpy, ReplayKeyboard, grab.time);
    }
    XFlush(dpy);
}

void X11KeyboardHook::State::startHold(const PendingGrab& grab) {
    // An active grab of our own thaws the keyboard but keeps every key coming here, past the release
    // of the completion key that would end the passive grab.
    const int status =
        XGrabKeyboard(dpy, DefaultRootWindow(dpy), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    if (status != GrabSuccess) {
        XUngrabKeyboard(dpy, grab.time);
        return;
    }
    hold = Hold{Clock::now(), {},           {grab.keycode}, grab.virtualKey == KeyCode::Shift, false, {},
                std::nullopt, std::nullopt, std::nullopt};
    // No press kept by the hold comes twice.
    pairing.setGrabbedKeycodes({});
}

void X11KeyboardHook::State::paste() {
    const std::optional<std::vector<X11KeyInjector::KeyEvent>> events =
        X11KeyInjector::planShiftInsert(*display, hold && hold->completedByShift);
    if (!events)
        return;
    // The application ends a sequence under way at the paste's Insert.
    composer->reset();
    if (!hold || hold->pasted) {
        X11KeyInjector::send(*display, *events);
        XFlush(dpy);
        return;
    }
    // XTest keys pass through grabs like the user's, so the paste is typed in a gap of the grab, with
    // the server grabbed so that no other client's keys slip into the gap.
    XGrabServer(dpy);
    XUngrabKeyboard(dpy, CurrentTime);
    X11KeyInjector::send(*display, *events);
    const int regrabbed =
        XGrabKeyboard(dpy, DefaultRootWindow(dpy), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    XUngrabServer(dpy);
    hold->pasted = true;
    hold->pastedAt = Clock::now();
    if (regrabbed != GrabSuccess)
        finishHold();
}

void X11KeyboardHook::State::progressHold() {
    if (!hold)
        return;
    const Clock::time_point now = Clock::now();
    const bool served = hold->lastServed && now - *hold->lastServed >= pasteQuiet;
    // The bound runs again from the paste: the application's time to fetch it is what it is for.
    if (served || now - (hold->pasted ? hold->pastedAt : hold->started) >= holdBound)
        finishHold();
}

void X11KeyboardHook::State::finishHold() {
    // Keys still on their way here when the grab goes would be typed again after keys that went
    // straight to the application. With the server grabbed no other client's keys are handled
    // meanwhile: every key the grab took is read, then typed again, before the next one.
    XGrabServer(dpy);
    XSync(dpy, False);
    readQueued();
    hold->endRequest = NextRequest(dpy);
    XUngrabKeyboard(dpy, CurrentTime);
    replayKept(hold->keys);
    // A key of a device the server grab does not hold back may still have come to the grab.
    XSync(dpy, False);
    readQueued();
    replayKept(hold->keys);
    XUngrabServer(dpy);
    const bool pasted = hold->pasted;
    hold.reset();
    // Fetched, or given up on: what the user had on the clipboard may come back.
    if (pasted)
        display->notePasteOver();
    if (grabsHeld)
        pairing.setGrabbedKeycodes(swallowableKeycodes);
    XFlush(dpy);
}

void X11KeyboardHook::State::replayKept(std::vector<KeptKey>& keys) {
    for (const KeptKey& key : keys) {
        if (hold->swallowedDown.count(key.keycode)) {
            if (!key.press)
                hold->swallowedDown.erase(key.keycode);
            continue;
        }
        if (key.press) {
            // The server drops a press of a key that is down on the device typing it, and a kept key may
            // still be down there: its press came to the grab, its release is yet to come. A release
            // first lets the press through; for a key that is up the server ignores it.
            XTestFakeKeyEvent(dpy, key.keycode, False, CurrentTime);
            // Reported once already, through its raw press.
            display->expectInjectedPress(key.keycode);
        }
        XTestFakeKeyEvent(dpy, key.keycode, key.press ? True : False, CurrentTime);
    }
    keys.clear();
}

int X11KeyboardHook::State::msUntilNextDeadline() const {
    std::optional<Clock::time_point> next;
    if (pending && pending->ticket->state.load() == Pending)
        next = pending->deadline;
    if (hold) {
        Clock::time_point end = (hold->pasted ? hold->pastedAt : hold->started) + holdBound;
        if (hold->lastServed)
            end = std::min(end, *hold->lastServed + pasteQuiet);
        next = next ? std::min(*next, end) : end;
    }
    if (!next)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

void X11KeyboardHook::State::shutdown() {
    settlePending(true);
    if (hold)
        finishHold();
    if (grabsHeld)
        ungrabKeys();
    XIEventMask mask{XIAllMasterDevices, 0, nullptr};
    XISelectEvents(dpy, DefaultRootWindow(dpy), &mask, 1);
    XSelectInput(dpy, DefaultRootWindow(dpy), NoEventMask);
    XSync(dpy, False);
    {
        const std::lock_guard lock(mutex);
        popupDone = popupRequests;
    }
    grabsSettled.notify_all();
}

int X11KeyboardHook::State::virtualKeyOf(unsigned keycode, bool numLock) const {
    auto keysymAt = [this, keycode](int level) {
        const auto code = static_cast<X11KeyCode>(keycode);
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
    // Kept: the keysym of each press is looked up in it, with no round trip.
    keyboardMap.reset(XkbGetMap(dpy, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd));
    if (XkbDescPtr keyboard = keyboardMap.get()) {
        if (XkbGetNames(dpy, XkbKeyNamesMask, keyboard) == Success && keyboard->names &&
            keyboard->names->keys) {
            for (unsigned code = keyboard->min_key_code;
                 code <= keyboard->max_key_code && code < keyNames.size(); ++code) {
                for (std::size_t i = 0; i < XkbKeyNameLength; ++i)
                    keyNames[code][i] = keyboard->names->keys[code].name[i];
            }
        }
    }
    updateSwallowable();
}

bool X11KeyboardHook::State::mayBeSwallowed(int virtualKey) const {
    // A key grabbed for nothing would cost every press of it a round trip to this program.
    return KeyCode::maySwallow(virtualKey, completionKey, numberKeys);
}

void X11KeyboardHook::State::updateSwallowable() {
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
    if (!hold)
        pairing.setGrabbedKeycodes(swallowableKeycodes);
}

void X11KeyboardHook::State::ungrabKeys() {
    const Window root = DefaultRootWindow(dpy);
    // Every grab of ours on these keys goes, even if the lock masks changed since they were made.
    for (const unsigned keycode : swallowableKeycodes)
        XUngrabKey(dpy, static_cast<int>(keycode), AnyModifier, root);
    XFlush(dpy);
    grabsHeld = false;
    pairing.setGrabbedKeycodes({});
}
