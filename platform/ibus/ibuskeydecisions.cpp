// The bounded hand-over of key decisions between the IBus engine's thread and the UI thread, and the
// engine thread's fields.
#include "ibuskeydecisions.h"

#include <algorithm>
#include <utility>

IBusKeyDecisions::Arrival IBusKeyDecisions::arrive(bool maySwallow) {
    std::lock_guard lock(m_mutex);
    const std::uint64_t press = m_nextPress++;
    const bool held = maySwallow && (m_popupVisible || !m_undecided.empty());
    m_undecided.push_back(press);
    if (held)
        m_held = Held{press, State::Waiting, {}};
    return {press, held};
}

IBusKeyDecisions::Outcome IBusKeyDecisions::await(std::uint64_t press, std::chrono::milliseconds deadline,
                                                  bool completes) {
    std::unique_lock lock(m_mutex);
    if (!m_held || m_held->press != press)
        return {};
    m_changed.wait_for(lock, deadline, [this] { return m_held->state != State::Waiting; });
    // Swallowed: the handler acts on the key right after answering; what it commits must go out before
    // the answer, ahead of the keys typed after this one. Bounded as well: a key that only moves the
    // selection stays swallowed, one whose completion is late goes through instead.
    m_changed.wait_for(lock, deadline, [this] { return m_held->state != State::Swallowed; });
    const bool completionLate = completes && m_held->state == State::Swallowed;
    Outcome outcome;
    outcome.swallow = m_held->state != State::Waiting && m_held->state != State::Passed && !completionLate;
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

void IBusFields::created(Context context) {
    m_fields[context] = Field{};
}

void IBusFields::destroyed(Context context) {
    m_fields.erase(context);
}

void IBusFields::focusIn(Context context, bool isPrivate) {
    m_fields[context].isPrivate = isPrivate;
}

void IBusFields::focusOut(Context context) {
    m_fields[context].isPrivate = false;
}

void IBusFields::contentType(Context context, bool isPrivate) {
    m_fields[context].isPrivate = isPrivate;
}

bool IBusFields::looksAt(Context context) const {
    const auto found = m_fields.find(context);
    return found != m_fields.end() && !found->second.isPrivate;
}

IBusFields::Press IBusFields::pressed(Context context, KeyKind kind, Clock::time_point at) {
    Field& field = m_fields[context];
    Press press;
    if (field.lastPress) {
        const Clock::duration gap = at - *field.lastPress;
        press.burst = gap < m_burstGap || (!field.held.empty() && gap < m_burstPause);
    }
    field.lastPress = at;
    if (!press.burst)
        field.composing = false;
    press.typed = press.burst && kind == KeyKind::Text && !field.composing;
    return press;
}

void IBusFields::passed(Context context, KeyKind kind, Clock::time_point at, std::uint64_t reportsSeen) {
    Field& field = m_fields[context];
    if (kind == KeyKind::Compose)
        field.composing = true;
    // A modifier on its own changes nothing a commit could overtake.
    if (kind != KeyKind::Modifier)
        changed(field, at, reportsSeen, kind == KeyKind::Text);
}

void IBusFields::hold(Context context, const std::string& text) {
    m_fields[context].held += text;
}

std::string IBusFields::takeHeld(Context context) {
    const auto found = m_fields.find(context);
    return found == m_fields.end() ? std::string() : std::exchange(found->second.held, {});
}

std::vector<IBusFields::Context> IBusFields::holding() const {
    std::vector<Context> contexts;
    for (const auto& [context, field] : m_fields)
        if (!field.held.empty())
            contexts.push_back(context);
    return contexts;
}

std::optional<IBusFields::Settle> IBusFields::settle(Context context) const {
    const auto found = m_fields.find(context);
    if (found == m_fields.end() || !found->second.lastChange)
        return std::nullopt;
    const Field& field = found->second;
    const bool reportDue = field.reportsChanges && field.changeTypedText;
    return Settle{field.reportsAtChange, *field.lastChange + (reportDue ? m_reportBound : m_settle)};
}

void IBusFields::committed(Context context, Clock::time_point at, std::uint64_t reportsSeen) {
    changed(m_fields[context], at, reportsSeen, true);
}

void IBusFields::changed(Field& field, Clock::time_point at, std::uint64_t reportsSeen, bool typedText) {
    // Whether the field reports the text typed there, going by the last text: reported by now, or not
    // within the bound. Some fields report only when the focus comes, some not at all.
    if (field.lastChange && field.changeTypedText) {
        if (reportsSeen > field.reportsAtChange)
            field.reportsChanges = true;
        else if (at - *field.lastChange >= m_reportBound)
            field.reportsChanges = false;
    }
    field.lastChange = at;
    field.reportsAtChange = reportsSeen;
    field.changeTypedText = typedText;
}

void IBusFields::swallowed(Context context, unsigned keyCode) {
    m_fields[context].swallowedKeys.insert(keyCode);
}

bool IBusFields::released(Context context, unsigned keyCode) {
    const auto found = m_fields.find(context);
    return found != m_fields.end() && found->second.swallowedKeys.erase(keyCode) > 0;
}

void IBusFieldReports::track(const std::string& path, Context context) {
    std::lock_guard lock(m_mutex);
    m_contexts[path] = context;
    m_counts[context] = 0;
}

void IBusFieldReports::forget(Context context) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_contexts, [context](const auto& entry) { return entry.second == context; });
    m_counts.erase(context);
}

void IBusFieldReports::reported(const std::string& path) {
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_contexts.find(path);
        if (found == m_contexts.end())
            return;
        ++m_counts[found->second];
    }
    m_reported.notify_all();
}

std::uint64_t IBusFieldReports::count(Context context) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_counts.find(context);
    return found == m_counts.end() ? 0 : found->second;
}

void IBusFieldReports::awaitBeyond(Context context, std::uint64_t seen, Clock::time_point until) {
    std::unique_lock lock(m_mutex);
    m_reported.wait_until(lock, until, [&] {
        const auto found = m_counts.find(context);
        return found == m_counts.end() || found->second > seen;
    });
}
