// Orders what the X server tells the keyboard hook into one report per key press. A press on a
// grabbed key arrives twice (the watched raw press and the grab's own copy, which froze the
// keyboard); the two are paired so that the press is reported once and answered through its grab.
// Pure, so that every order the server may produce is tested without one.
#pragma once

#include <deque>
#include <optional>
#include <set>

struct X11InputEvent {
    enum class Kind {
        WatchedPress, // raw press seen on the root window, from any keyboard
        GrabbedPress, // a press that activated one of the hook's grabs: the keyboard waits for an answer
        LockState,    // the lock modifiers or the keyboard group changed
    };
    Kind kind = Kind::WatchedPress;
    unsigned keycode = 0;
    unsigned long serial = 0; // last request the server had handled when it sent the event
    unsigned long time = 0;   // server time, for answering a grab
    bool injected = false;    // a watched press that this program typed itself
    unsigned lockedModifiers = 0;
    unsigned modifiers = 0; // in effect: held, latched and locked
    int group = 0;
};

struct X11PressAction {
    enum class Kind {
        Report,           // report the press; answer through its grab when grabTime is set
        ReplayUnreported, // a grabbed press that must not be reported (already reported, or ours)
        UpdateLocks,      // take the new lock state before mapping the presses that follow
    };
    Kind kind = Kind::Report;
    X11InputEvent event;
    std::optional<unsigned long> grabTime;
};

class X11PressPairing {
public:
    void push(const X11InputEvent& event) { m_events.push_back(event); }
    // Keys whose presses may come with a grabbed twin; empty while no grab is held.
    void setGrabbedKeycodes(std::set<unsigned> keycodes) { m_grabbed = std::move(keycodes); }
    // The next thing to do, in the server's order. Events sent before request settledBefore are
    // complete: a twin missing then never comes. Nothing while the front waits for a twin.
    std::optional<X11PressAction> next(unsigned long settledBefore);
    // Whether next() gave nothing because a twin may still be on its way (a round trip settles it).
    bool waitingForTwin() const { return m_waiting; }
    bool empty() const { return m_events.empty(); }

private:
    // Index of the twin of the event at the front, or nullopt when the twin cannot be in the queue;
    // sets m_waiting when the queue ends before that is known.
    std::optional<std::size_t> findTwin(unsigned long settledBefore);

    std::deque<X11InputEvent> m_events;
    std::set<unsigned> m_grabbed;
    bool m_waiting = false;
};
