// X11 focus guard: the focused application's WM_CLASS, keyboard grabs by other clients, and the
// focused field's role through the accessibility bus.
//
// Grabs are noticed by the focus events every grab sends (mode NotifyGrab / NotifyUngrab) to the
// windows between the old focus and the grab window: no polling and no probe. Probing with a grab
// of our own was ruled out: it would itself send focus events to the focused application, which
// toolkits answer with accessibility focus events, and hold the keyboard for a round trip.
//
// Password fields fail closed: from the moment the focus moves until the new field has said what it
// is, completion is asked to wait. A field that does not say within a bound is unknown, which the
// caller weighs; a window that tells nothing on the accessibility bus within a shorter bound takes no
// part in it. A terminal tells nothing there: its program's password prompt is the terminal's line
// discipline reading a line without echo, which is read from the terminal's pseudo-terminal.
#include "x11focusguard.h"

#include "x11display.h"

#ifdef QUENLO_HAVE_ATSPI
#include "platform/atspi/atspifieldwatch.h"
#endif

#include <QSocketNotifier>
#include <QTimer>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
// The hook holds the keyboard for one key at most, and only while or just after the pop-up is up.
// A grab on the root window that starts then is taken for the hook's; one that lasts longer than
// this is not.
constexpr std::chrono::milliseconds ownHoldGrace{1000};
constexpr int ownHoldLongestMs = 1000;
// How long a grab may go without the focus-in event that names its window.
constexpr int grabWindowWaitMs = 100;
// How deep under a window manager's frame the client window with WM_CLASS is looked for.
constexpr int clientSearchDepth = 3;
// How long a newly focused window is given to tell of its focused field on the accessibility bus
// before it is taken to have none there (an application without accessibility support); one whose
// application has told of its focus before gets longer, and then its field counts as unknown.
constexpr int accessibleFocusWaitMs = 400;
constexpr int knownAccessibleFocusWaitMs = 1000;
// How often the focused terminal's echo is looked at: a password prompt comes while the terminal has
// the focus, and a person starts typing it later than this after it shows.
constexpr int terminalEchoPollMs = 100;
// The major device number of the pseudo-terminals' slaves (/dev/pts/N).
constexpr unsigned ptsMajor = 136;

struct ProcessStat {
    long parent = 0;
    long session = 0;
    unsigned long terminal = 0; // device number of the controlling terminal, 0 for none
};

bool readProcessStat(long pid, ProcessStat& stat) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(file, line))
        return false;
    // The command name may hold blanks and parentheses: the fields start after the last ')'.
    const std::size_t end = line.rfind(')');
    if (end == std::string::npos)
        return false;
    long group = 0;
    long terminal = 0;
    if (std::sscanf(line.c_str() + end + 1, " %*c %ld %ld %ld %ld", &stat.parent, &group, &stat.session,
                    &terminal) != 4)
        return false;
    stat.terminal = static_cast<unsigned long>(terminal);
    return true;
}

std::vector<long> childProcesses(long pid) {
    std::vector<long> children;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    bool listed = false;
    if (DIR* dir = opendir(tasks.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            std::ifstream file(tasks + "/" + entry->d_name + "/children");
            listed = listed || file.is_open();
            for (long child = 0; file >> child;)
                children.push_back(child);
        }
        closedir(dir);
    }
    if (listed || access(tasks.c_str(), F_OK) != 0)
        return children;
    // A kernel without the children lists: every process's parent is read instead.
    if (DIR* dir = opendir("/proc")) {
        while (const dirent* entry = readdir(dir)) {
            const long other = std::strtol(entry->d_name, nullptr, 10);
            ProcessStat stat;
            if (other > 0 && readProcessStat(other, stat) && stat.parent == pid)
                children.push_back(other);
        }
        closedir(dir);
    }
    return children;
}

// Whether a terminal in these local modes reads a password: a line without echo. Full-screen
// programs switch both echo and line reading off, and are not.
bool terminalReadsPassword(tcflag_t localModes) {
    return (localModes & ECHO) == 0 && (localModes & ICANON) != 0;
}
} // namespace

bool x11FocusDetailIsTarget(int detail) {
    // NotifyPointer goes to the window under the pointer when the root itself takes the focus.
    return detail != NotifyVirtual && detail != NotifyNonlinearVirtual && detail != NotifyPointer;
}

struct X11FocusGuard::State {
    std::string displayName;
    std::shared_ptr<X11Display> display;
    Display* dpy = nullptr;
    Window root = 0;
    Atom netActiveWindow = 0;
    Atom netWmPid = 0;
    std::unique_ptr<QSocketNotifier> notifier;
    ChangeHandler handler;
    FocusState state;     // as being worked out
    FocusState published; // as last reported

    bool focusDirty = false;
    Window topLevel = 0;

    bool grabActive = false;
    bool grabStarting = false; // whose grab it is is not settled yet
    bool grabWindowKnown = false;
    bool grabOnRoot = false;
    bool grabTakenForOwn = false;
    unsigned grabSerial = 0;
    bool ownHoldPossible = false;
    Clock::time_point ownHoldEnded{};

    bool watchPasswordFields = false;
    // What the accessible field of the focused window told, and whether it has not told yet.
    bool fieldPassword = false;
    bool fieldAsked = false;
    bool fieldUnknown = false;
    bool awaitingField = false;
    unsigned awaitSerial = 0;
    std::string fieldsProblem;
#ifdef QUENLO_HAVE_ATSPI
    std::unique_ptr<AtspiFieldWatch> fields;
#endif
    // The focused window's process, and the pseudo-terminals of the sessions it leads: a terminal's.
    unsigned long clientPid = 0;
    std::vector<std::string> terminals;
    bool terminalPrompt = false;
    std::unique_ptr<QTimer> terminalPoll;

    void readEvents();
    void handle(XEvent& event);
    void focusEvent(const XFocusChangeEvent& event);
    bool lookUpFocus();
    bool findClient(Window window, int depth, FocusedApplication& application);
    void settleGrab();
    void focusMovedToWindow(bool fieldTold);
    void forgetField();
#ifdef QUENLO_HAVE_ATSPI
    void fieldChanged(AtspiFieldWatch::Field field);
#endif
    void openTerminals();
    void closeTerminals();
    void readTerminalEcho(bool announce);
    void publish();
    void watchFields();
};

X11FocusGuard::X11FocusGuard(std::string display)
    : m_state(std::make_shared<State>()) {
    m_state->displayName = std::move(display);
}

X11FocusGuard::~X11FocusGuard() {
#ifdef QUENLO_HAVE_ATSPI
    m_state->fields.reset();
#endif
    m_state->closeTerminals();
    m_state->terminalPoll.reset();
    m_state->notifier.reset();
}

bool X11FocusGuard::start(ChangeHandler handler, std::string& error) {
    State& s = *m_state;
    if (s.display)
        return true;
    s.display = X11Display::open(s.displayName, error);
    if (!s.display)
        return false;
    s.handler = std::move(handler);
    s.dpy = s.display->handle();
    s.root = DefaultRootWindow(s.dpy);
    char netActiveWindow[] = "_NET_ACTIVE_WINDOW";
    char netWmPid[] = "_NET_WM_PID";
    char* names[] = {netActiveWindow, netWmPid};
    Atom atoms[2] = {};
    XInternAtoms(s.dpy, names, 2, False, atoms);
    s.netActiveWindow = atoms[0];
    s.netWmPid = atoms[1];

    // Focus changes between top-level windows reach neither the root nor the window manager's
    // property at once without one: every top-level window is watched, new ones as they come.
    XSelectInput(s.dpy, s.root, PropertyChangeMask | SubstructureNotifyMask | FocusChangeMask);
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(s.dpy, s.root, &rootReturn, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i)
            XSelectInput(s.dpy, children[i], FocusChangeMask);
        XFree(children);
    }
    s.notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(s.dpy), QSocketNotifier::Read);
    QObject::connect(s.notifier.get(), &QSocketNotifier::activated, s.notifier.get(),
                     [state = m_state.get()] { state->readEvents(); });
    s.terminalPoll = std::make_unique<QTimer>();
    s.terminalPoll->setInterval(terminalEchoPollMs);
    QObject::connect(s.terminalPoll.get(), &QTimer::timeout, s.terminalPoll.get(),
                     [state = m_state.get()] { state->readTerminalEcho(true); });
    s.focusDirty = true;
    s.readEvents();
    s.watchFields();
    s.publish();
    return true;
}

FocusState X11FocusGuard::state() const {
    return m_state->published;
}

void X11FocusGuard::setWatchPasswordFields(bool watch) {
    State& s = *m_state;
    s.watchPasswordFields = watch;
    if (!s.display)
        return;
    s.watchFields();
    s.openTerminals();
    s.publish();
}

void X11FocusGuard::setOwnKeyboardHoldPossible(bool possible) {
    State& s = *m_state;
    if (s.ownHoldPossible && !possible)
        s.ownHoldEnded = Clock::now();
    s.ownHoldPossible = possible;
}

void X11FocusGuard::State::watchFields() {
#ifdef QUENLO_HAVE_ATSPI
    if (watchPasswordFields && !fields) {
        fields =
            std::make_unique<AtspiFieldWatch>([this](AtspiFieldWatch::Field field) { fieldChanged(field); },
                                              [this](const QString& problem) {
                                                  fieldsProblem = problem.toStdString();
                                                  publish();
                                              });
        QString error;
        if (!fields->start(error)) {
            fieldsProblem = error.toStdString();
            fields.reset();
        }
    } else if (!watchPasswordFields && fields) {
        fields.reset();
        fieldsProblem.clear();
    }
#else
    fieldsProblem = "this build has no accessibility support (Qt's D-Bus module)";
#endif
    if (!watchPasswordFields)
        forgetField();
}

void X11FocusGuard::State::readEvents() {
    // A look-up's replies may move events into Xlib's queue: read until it is empty.
    for (;;) {
        while (XPending(dpy)) {
            XEvent event;
            XNextEvent(dpy, &event);
            handle(event);
        }
        if (!focusDirty)
            break;
        focusDirty = false;
        if (lookUpFocus())
            focusMovedToWindow(false);
    }
    settleGrab();
    publish();
}

void X11FocusGuard::State::handle(XEvent& event) {
    switch (event.type) {
    case CreateNotify:
        if (event.xcreatewindow.parent == root)
            XSelectInput(dpy, event.xcreatewindow.window, FocusChangeMask);
        break;
    case PropertyNotify:
        if (event.xproperty.window == root && event.xproperty.atom == netActiveWindow)
            focusDirty = true;
        break;
    case FocusIn:
    case FocusOut:
        focusEvent(event.xfocus);
        break;
    default:
        break;
    }
}

void X11FocusGuard::State::focusEvent(const XFocusChangeEvent& event) {
    if (event.mode == NotifyGrab) {
        if (!grabActive) {
            grabActive = true;
            grabStarting = true;
            grabWindowKnown = false;
            grabOnRoot = false;
            ++grabSerial;
            // Should the grab window never say so (focus on no window), the grab counts as foreign soon.
            const unsigned serial = grabSerial;
            QTimer::singleShot(grabWindowWaitMs, notifier.get(), [this, serial] {
                if (grabActive && grabSerial == serial && grabStarting) {
                    grabWindowKnown = true;
                    settleGrab();
                    publish();
                }
            });
        }
        // The grab window, or its top-level window, receives the focus for the grab: only then is
        // it known whose grab it may be.
        if (event.type == FocusIn && !grabWindowKnown) {
            if (event.window == root) {
                grabWindowKnown = x11FocusDetailIsTarget(event.detail);
                grabOnRoot = grabWindowKnown;
            } else if (event.detail != NotifyPointer) {
                grabWindowKnown = true;
            }
        }
        return;
    }
    if (event.mode == NotifyUngrab) {
        grabActive = false;
        grabStarting = false;
        grabTakenForOwn = false;
        focusDirty = true;
        return;
    }
    focusDirty = true;
}

void X11FocusGuard::State::settleGrab() {
    // The focus-out events of a grab may be read before the focus-in that names the grab window.
    if (!grabStarting || !grabWindowKnown)
        return;
    grabStarting = false;
    // The hook grabs its keys on the root window, only while the pop-up is up (or just hidden by
    // the key it holds). Anything else is another program's, and a root grab that outlasts one
    // key is too.
    const bool ownPossible = ownHoldPossible || Clock::now() - ownHoldEnded < ownHoldGrace;
    grabTakenForOwn = grabOnRoot && ownPossible;
    if (!grabTakenForOwn)
        return;
    const unsigned serial = grabSerial;
    QTimer::singleShot(ownHoldLongestMs, notifier.get(), [this, serial] {
        if (grabActive && grabSerial == serial && grabTakenForOwn) {
            grabTakenForOwn = false;
            publish();
        }
    });
}

bool X11FocusGuard::State::lookUpFocus() {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(dpy, &focus, &revert);
    if (focus == None || focus == PointerRoot) {
        // Focus follows the pointer, or nothing has it: the window manager's word, if there is one.
        const bool followsPointer = focus == PointerRoot;
        focus = None;
        Atom type = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, root, netActiveWindow, 0, 1, False, XA_WINDOW, &type, &format, &items,
                               &after, &data) == Success &&
            data) {
            if (type == XA_WINDOW && format == 32 && items == 1)
                focus = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
            XFree(data);
        }
        // Without that word the keys go to the window under the pointer, which must not count as none.
        Window rootReturn = 0;
        Window child = 0;
        int rootX = 0;
        int rootY = 0;
        int x = 0;
        int y = 0;
        unsigned buttons = 0;
        if (followsPointer && focus == None &&
            XQueryPointer(dpy, root, &rootReturn, &child, &rootX, &rootY, &x, &y, &buttons))
            focus = child;
    }

    FocusedApplication application;
    clientPid = 0;
    Window top = 0;
    bool found = false;
    // Up from the focus window to the top-level one, taking the first window that has a class.
    for (Window window = focus; window != None && window != root;) {
        top = window;
        if (!found)
            found = findClient(window, 0, application);
        Window rootReturn = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(dpy, window, &rootReturn, &parent, &children, &count))
            break;
        if (children)
            XFree(children);
        window = parent;
    }
    // A window manager may focus its frame: the client with the class lies under it.
    if (!found && top != 0)
        findClient(top, clientSearchDepth, application);

    // The window may have come and taken the focus before its creation was read here; its grab
    // events are needed from now on.
    if (top != 0 && top != topLevel)
        XSelectInput(dpy, top, FocusChangeMask);
    const bool moved = top != topLevel;
    topLevel = top;
    state.application = application;
    return moved;
}

bool X11FocusGuard::State::findClient(Window window, int depth, FocusedApplication& application) {
    XClassHint hint{};
    if (XGetClassHint(dpy, window, &hint)) {
        application.id = hint.res_class ? hint.res_class : "";
        if (application.id.empty() && hint.res_name)
            application.id = hint.res_name;
        application.name = application.id;
        if (hint.res_name)
            XFree(hint.res_name);
        if (hint.res_class)
            XFree(hint.res_class);
        Atom type = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, window, netWmPid, 0, 1, False, XA_CARDINAL, &type, &format, &items,
                               &after, &data) == Success &&
            data) {
            if (type == XA_CARDINAL && format == 32 && items == 1)
                clientPid = *reinterpret_cast<unsigned long*>(data);
            application.thisProgram = clientPid == static_cast<unsigned long>(getpid());
            XFree(data);
        }
        return !application.id.empty();
    }
    if (depth <= 0)
        return false;
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy, window, &rootReturn, &parent, &children, &count))
        return false;
    bool found = false;
    for (unsigned i = count; i-- > 0 && !found;)
        found = findClient(children[i], depth - 1, application);
    if (children)
        XFree(children);
    return found;
}

void X11FocusGuard::State::focusMovedToWindow(bool fieldTold) {
    // What the old window's field told no longer counts; unless the new window's field has told of
    // itself already, completion waits a little for it to.
    ++awaitSerial;
    awaitingField = false;
    if (!fieldTold)
        forgetField();
    openTerminals();
#ifdef QUENLO_HAVE_ATSPI
    if (fieldTold || !watchPasswordFields || !fields || !fields->connected() || topLevel == 0 ||
        state.application.thisProgram || !terminals.empty())
        return;
    awaitingField = true;
    const unsigned serial = awaitSerial;
    const bool known = fields->tellsFocus(static_cast<qint64>(clientPid));
    QTimer::singleShot(known ? knownAccessibleFocusWaitMs : accessibleFocusWaitMs, notifier.get(),
                       [this, serial, known] {
                           if (awaitingField && awaitSerial == serial) {
                               awaitingField = false;
                               fieldUnknown = known;
                               publish();
                           }
                       });
#endif
}

void X11FocusGuard::State::forgetField() {
    fieldPassword = fieldAsked = fieldUnknown = false;
#ifdef QUENLO_HAVE_ATSPI
    if (fields)
        fields->forgetField();
#endif
}

#ifdef QUENLO_HAVE_ATSPI
void X11FocusGuard::State::fieldChanged(AtspiFieldWatch::Field field) {
    if (field != AtspiFieldWatch::Field::NoField) {
        // Tied to the window that has the focus now, which the X events may not have told yet.
        if (lookUpFocus())
            focusMovedToWindow(true);
        awaitingField = false;
    }
    fieldPassword = field == AtspiFieldWatch::Field::Password;
    fieldAsked = field == AtspiFieldWatch::Field::Asked;
    fieldUnknown = field == AtspiFieldWatch::Field::Unknown;
    // The look-up may have moved X events (a grab's) into Xlib's queue, where the notifier does not
    // see them.
    readEvents();
}
#endif

void X11FocusGuard::State::openTerminals() {
    closeTerminals();
    if (!watchPasswordFields || clientPid == 0 || state.application.thisProgram)
        return;
    // A terminal leads the session of each program it runs, on a pseudo-terminal of its own.
    for (const long child : childProcesses(static_cast<long>(clientPid))) {
        ProcessStat stat;
        if (!readProcessStat(child, stat) || stat.session != child || major(stat.terminal) != ptsMajor)
            continue;
        terminals.push_back("/dev/pts/" + std::to_string(minor(stat.terminal)));
    }
    if (!terminals.empty())
        terminalPoll->start();
    readTerminalEcho(false);
}

void X11FocusGuard::State::closeTerminals() {
    terminals.clear();
    terminalPrompt = false;
    if (terminalPoll)
        terminalPoll->stop();
}

void X11FocusGuard::State::readTerminalEcho(bool announce) {
    bool prompt = false;
    // Opened for each look only: a terminal may wait for every holder of its program's side to let go
    // before it ends.
    for (const std::string& path : terminals) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        termios modes{};
        if (tcgetattr(fd, &modes) == 0 && terminalReadsPassword(modes.c_lflag))
            prompt = true;
        ::close(fd);
    }
    if (prompt == terminalPrompt)
        return;
    terminalPrompt = prompt;
    if (announce)
        publish();
}

void X11FocusGuard::State::publish() {
    // With no X window focused the keys go to no X client: on a Wayland desktop the accessible field
    // is a Wayland client's, whose purpose the input method learns from the application itself.
    const bool fieldSeen = topLevel != 0;
    state.passwordField = (fieldSeen && fieldPassword) || terminalPrompt;
    state.fieldAsked = !state.passwordField && fieldSeen && (fieldAsked || awaitingField);
    state.fieldUnknown = !state.passwordField && fieldSeen && fieldUnknown;
    state.passwordFieldsProblem = watchPasswordFields ? fieldsProblem : std::string();
    state.keyboardHeld = grabActive && !grabStarting && !grabTakenForOwn;
    if (state == published)
        return;
    published = state;
    if (handler)
        handler(published);
}
