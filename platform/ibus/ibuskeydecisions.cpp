// The bounded hand-over of key decisions between the IBus engine's thread and the UI thread.
#include "ibuskeydecisions.h"

#include <algorithm>

IBusKeyDecisions::Arrival IBusKeyDecisions::arrive(bool maySwallow) {
    std::lock_guard lock(m_mutex);
    const std::uint64_t press = m_nextPress++;
    const bool held = maySwallow && (m_popupVisible || !m_undecided.empty());
    m_undecided.push_back(press);
    if (held)
        m_held = Held{press, State::Waiting, {}};
    return {press, held};
}

IBusKeyDecisions::Outcome IBusKeyDecisions::await(std::uint64_t press, std::chrono::milliseconds deadline) {
    std::unique_lock lock(m_mutex);
    if (!m_held || m_held->press != press)
        return {};
    m_changed.wait_for(lock, deadline, [this] { return m_held->state != State::Waiting; });
    // Swallowed: the handler acts on the key right after answering; what it commits must go out before
    // the answer, ahead of the keys typed after this one. Bounded as well, the key staying swallowed.
    m_changed.wait_for(lock, deadline, [this] { return m_held->state != State::Swallowed; });
    Outcome outcome;
    outcome.swallow = m_held->state != State::Waiting && m_held->state != State::Passed;
    outcome.commit = std::move(m_held->text);
    // From here on the key is gone either way: a late answer finds nothing to change.
    m_held.reset();
    return outcome;
}

bool IBusKeyDecisions::decide(std::uint64_t press, bool discard) {
    std::lock_guard lock(m_mutex);
    const auto found = std::find(m_undecided.begin(), m_undecided.end(), press);
    if (found != m_undecided.end())
        m_undecided.erase(found);
    if (!m_held || m_held->press != press || m_held->state != State::Waiting)
        return !discard; // passed at once, or by the watchdog: only "pass" still holds
    m_held->state = discard ? State::Swallowed : State::Passed;
    m_changed.notify_all();
    return true;
}

bool IBusKeyDecisions::commit(const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (!m_held || m_held->state != State::Swallowed)
        return false;
    m_held->state = State::Committed;
    m_held->text = text;
    m_changed.notify_all();
    return true;
}

void IBusKeyDecisions::finish(std::uint64_t press) {
    std::lock_guard lock(m_mutex);
    if (m_held && m_held->press == press && m_held->state == State::Swallowed) {
        m_held->state = State::Finished;
        m_changed.notify_all();
    }
}

void IBusKeyDecisions::setPopupVisible(bool visible) {
    std::lock_guard lock(m_mutex);
    m_popupVisible = visible;
}
