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
// applied as soon as it arrives: text committed right behind passed keys could overtake them. And GTK 3
// on GNOME drops a commit that GNOME sends before it has taken the field's report of its own last change.
// So a commit waits, behind the last key passed and behind the commit before it, for the field's report
// of the text that key or commit typed (IBusFieldReports), however long a busy desktop takes, within a
// bound. Not every field reports its changes, and a key that types nothing may change nothing: in a
// field that does not report, going by the last text typed there, and behind a key that types nothing,
// a commit keeps a fixed settle instead.
//
// In a burst (presses closer than a person types, as programs send them) the engine types the keys that
// type text itself and holds that text, completions included, until the burst pauses or a key must pass:
// then it goes out as one commit, ahead of that key. A burst that a busy desktop delivers with gaps in it
// stays one. What is held when the focus leaves goes out with the pause all the same: GNOME drops text
// committed to a field it has just left, and takes the focus from a field for a moment at times.
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

    // What a commit waits for: the context's report beyond `reportsSeen`, until `until` at most.
    struct Settle {
        std::uint64_t reportsSeen;
        Clock::time_point until;
    };

    // burstGap: presses closer than this start a burst; burstPause: a pause this long ends one. A commit
    // waits for a report reportBound at most after the text typed, or settle where no report is due.
    IBusFields(Clock::duration burstGap, Clock::duration burstPause, Clock::duration settle,
               Clock::duration reportBound)
        : m_burstGap(burstGap)
        , m_burstPause(burstPause)
        , m_settle(settle)
        , m_reportBound(reportBound) {}

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
    // The press went on to the application; reportsSeen: the reports its context gave so far.
    void passed(Context context, KeyKind kind, Clock::time_point at, std::uint64_t reportsSeen);
    // Text for the field, held while its burst lasts.
    void hold(Context context, const std::string& text);
    // The text held for the field, now to be committed; empty when none.
    std::string takeHeld(Context context);
    // The contexts holding text.
    std::vector<Context> holding() const;
    // What a commit waits for so as not to overtake the keys passed before it, nor to come on the heels
    // of the commit before it; nothing when the field has not changed.
    std::optional<Settle> settle(Context context) const;
    void committed(Context context, Clock::time_point at, std::uint64_t reportsSeen);
    // The press was swallowed; its release is swallowed too.
    void swallowed(Context context, unsigned keyCode);
    // Whether a release is swallowed.
    bool released(Context context, unsigned keyCode);

private:
    struct Field {
        bool isPrivate = false;
        std::optional<Clock::time_point> lastPress;
        std::optional<Clock::time_point> lastChange; // a key passed or a commit
        std::uint64_t reportsAtChange = 0;           // the context's reports by then
        bool changeTypedText = false;                // which a field that reports at all reports
        bool reportsChanges = false;                 // reported the last text typed there
        bool composing = false; // this burst passed a dead key: the application composes what follows
        std::string held;
        std::set<unsigned> swallowedKeys;
    };

    void changed(Field& field, Clock::time_point at, std::uint64_t reportsSeen, bool typedText);

    Clock::duration m_burstGap;
    Clock::duration m_burstPause;
    Clock::duration m_settle;
    Clock::duration m_reportBound;
    std::map<Context, Field> m_fields;
};

// What the application reports of its field after a change (where its caret is, the text around it), as
// the desktop passes it on: the sign that a commit made now comes after that change. Heard on the bus's
// own thread, so that the engine thread, waiting in a commit, still hears it.
class IBusFieldReports {
public:
    using Clock = IBusFields::Clock;
    using Context = IBusFields::Context;

    // Engine thread: what comes to the object path is the context's, until it goes.
    void track(const std::string& path, Context context);
    void forget(Context context);
    // Any thread: the application reported to the object path.
    void reported(const std::string& path);
    // Engine thread: how many reports the context has had.
    std::uint64_t count(Context context) const;
    // Engine thread: waits until the context has had more than `seen` reports, or `until` passes.
    void awaitBeyond(Context context, std::uint64_t seen, Clock::time_point until);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_reported;
    std::map<std::string, Context> m_contexts;
    std::map<Context, std::uint64_t> m_counts;
};
