// The bounded hand-over of key decisions between the IBus engine's thread, which must answer each
// press before it returns, and the UI thread, where the handler decides; and what the engine thread
// knows about the field of each input context. Plain C++ so that the contract, and the sequences
// desktops drive an engine through, are tested without a bus.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

class IBusKeyDecisions {
public:
    struct Arrival {
        std::uint64_t press;
        bool held; // the engine thread must call await() for it before answering
    };
    struct Outcome {
        bool swallow = false;
        std::string commit; // text to commit before answering, when swallowed by a completion
    };

    // Engine thread: registers a press. It is held when it may be swallowed and the handler may still
    // want it: the pop-up is up, or earlier presses that may bring it up are not decided yet.
    Arrival arrive(bool maySwallow);
    // Engine thread: the decision on a held press, or "pass" when none came within the deadline; a
    // decision or commit that comes later for that press changes nothing. A swallowed press also
    // waits, as long again at most, for the text its handling commits (or for finish()). A press that
    // completes a word when swallowed passes after all when its text does not come in that time: a
    // completion key swallowed without its completion would be lost.
    Outcome await(std::uint64_t press, std::chrono::milliseconds deadline, bool completes);

    // UI thread: the handler's answer for a press; every press is answered once, in order. Whether
    // it took effect: a discard comes too late once the key went through.
    bool decide(std::uint64_t press, bool discard);
    // UI thread: text that completes the word at the press just swallowed. False, and dropped,
    // when no held press was swallowed (the key went through).
    bool commit(const std::string& text);
    // UI thread: the handling of a swallowed press is over without a commit.
    void finish(std::uint64_t press);
    void setPopupVisible(bool visible);

private:
    enum class State { Waiting, Swallowed, Passed, Committed, Finished };
    struct Held {
        std::uint64_t press;
        State state = State::Waiting;
        std::string text;
    };

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_popupVisible = false;
    std::uint64_t m_nextPress = 1;
    std::deque<std::uint64_t> m_undecided; // in arrival order
    std::optional<Held> m_held;
};

// The field of each input context the engine serves, and the way each key press there reaches the
// application. Engine thread only.
//
// A key passed back goes to the end of the application's event queue, while committed text is
// applied as soon as it arrives: text committed right behind passed keys could overtake them. So a
// commit keeps a settle behind the last key passed, and behind the commit before it: GTK 3 on GNOME
// drops a commit that GNOME sends before it has taken the field's report of its own last change. In a burst
// (presses closer than a person types, as programs send them) the engine types the keys that type text itself
// and holds that text, completions included, until the burst pauses or a key must pass: then it goes out as
// one commit, ahead of that key. A burst that a busy desktop delivers with gaps in it stays one. What is held
// when the focus leaves goes out with the pause all the same: GNOME drops text committed to a field it has
// just left, and takes the focus from a field for a moment at times.
class IBusFields {
public:
    using Clock = std::chrono::steady_clock;
    using Context = std::uintptr_t;
    enum class KeyKind {
        Text,     // types a character
        Modifier, // Shift, Ctrl and their kind: change nothing in the field by themselves
        Compose,  // a dead key or Compose: the application combines it with the keys after it
        Other,    // moves, deletes, submits, or types nothing
    };
    struct Press {
        bool burst = false; // came right behind the press before it
        bool typed = false; // types text, which the engine types itself unless the handler swallows the key
    };

    // burstGap: presses closer than this start a burst; burstPause: a pause this long ends one.
    IBusFields(Clock::duration burstGap, Clock::duration burstPause, Clock::duration settle)
        : m_burstGap(burstGap)
        , m_burstPause(burstPause)
        , m_settle(settle) {}

    // An engine was made for an input context: it knows nothing private until told.
    void created(Context context);
    void destroyed(Context context);
    // isPrivate: what the context's purpose and hints said as the focus came in. IBus tells an engine
    // the content type only when it changed, so a new engine, or one coming back to the field it was
    // told about, hears nothing more.
    void focusIn(Context context, bool isPrivate);
    void focusOut(Context context);
    void contentType(Context context, bool isPrivate);
    // Whether the keys of the context may be looked at: a field of a known engine, not private.
    bool looksAt(Context context) const;

    // Every press, in order.
    Press pressed(Context context, KeyKind kind, Clock::time_point at);
    // The press went on to the application.
    void passed(Context context, KeyKind kind, Clock::time_point at);
    // Text for the field, held while its burst lasts.
    void hold(Context context, const std::string& text);
    // The text held for the field, now to be committed; empty when none.
    std::string takeHeld(Context context);
    // The contexts holding text.
    std::vector<Context> holding() const;
    // How long a commit must still wait so as not to overtake the keys passed before it, nor to come on
    // the heels of the commit before it.
    Clock::duration commitDelay(Context context, Clock::time_point now) const;
    void committed(Context context, Clock::time_point at);
    // The press was swallowed; its release is swallowed too.
    void swallowed(Context context, unsigned keyCode);
    // Whether a release is swallowed.
    bool released(Context context, unsigned keyCode);

private:
    struct Field {
        bool isPrivate = false;
        std::optional<Clock::time_point> lastPress;
        std::optional<Clock::time_point> lastPassed;
        std::optional<Clock::time_point> lastCommit;
        bool composing = false; // this burst passed a dead key: the application composes what follows
        std::string held;
        std::set<unsigned> swallowedKeys;
    };

    Clock::duration m_burstGap;
    Clock::duration m_burstPause;
    Clock::duration m_settle;
    std::map<Context, Field> m_fields;
};
