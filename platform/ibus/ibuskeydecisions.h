// The bounded hand-over of key decisions between the IBus engine's thread, which must answer each
// press before it returns, and the UI thread, where the handler decides. Plain C++ so that the
// contract is tested without a bus.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

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
    // waits, as long again at most, for the text its handling commits (or for finish()).
    Outcome await(std::uint64_t press, std::chrono::milliseconds deadline);

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
