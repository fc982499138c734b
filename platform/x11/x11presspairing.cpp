// Pairing of watched and grabbed key presses for the X11 keyboard hook.
#include "x11presspairing.h"

std::optional<std::size_t> X11PressPairing::findTwin(unsigned long settledBefore) {
    const X11InputEvent& front = m_events.front();
    const auto twinKind = front.kind == X11InputEvent::Kind::WatchedPress ? X11InputEvent::Kind::GrabbedPress
                                                                          : X11InputEvent::Kind::WatchedPress;
    for (std::size_t i = 1; i < m_events.size(); ++i) {
        const X11InputEvent& event = m_events[i];
        if (event.kind == X11InputEvent::Kind::LockState)
            continue;
        // The server writes both copies of one press before it handles the next key.
        if (event.kind == twinKind && event.keycode == front.keycode)
            return i;
        return std::nullopt;
    }
    if (front.serial < settledBefore)
        return std::nullopt;
    m_waiting = true;
    return std::nullopt;
}

std::optional<X11PressAction> X11PressPairing::next(unsigned long settledBefore) {
    m_waiting = false;
    while (!m_events.empty()) {
        X11PressAction action;
        action.event = m_events.front();
        switch (action.event.kind) {
        case X11InputEvent::Kind::LockState:
            m_events.pop_front();
            action.kind = X11PressAction::Kind::UpdateLocks;
            return action;
        case X11InputEvent::Kind::WatchedPress: {
            const bool mayBeGrabbed = m_grabbed.count(action.event.keycode) > 0;
            std::optional<std::size_t> twin;
            if (mayBeGrabbed) {
                twin = findTwin(settledBefore);
                if (m_waiting)
                    return std::nullopt;
            }
            if (twin) {
                action.grabTime = m_events[*twin].time;
                m_events.erase(m_events.begin() + static_cast<std::ptrdiff_t>(*twin));
            }
            m_events.pop_front();
            if (action.event.injected) {
                if (!action.grabTime)
                    continue;
                action.kind = X11PressAction::Kind::ReplayUnreported;
                return action;
            }
            action.kind = X11PressAction::Kind::Report;
            return action;
        }
        case X11InputEvent::Kind::GrabbedPress: {
            // Normally the watched copy comes first and has taken this one with it; a grabbed press
            // seen first looks ahead for its watched copy, and without one is only let through.
            const std::optional<std::size_t> twin = findTwin(settledBefore);
            if (m_waiting)
                return std::nullopt;
            m_events.pop_front();
            action.grabTime = action.event.time;
            if (twin) {
                const X11InputEvent watched = m_events[*twin - 1];
                m_events.erase(m_events.begin() + static_cast<std::ptrdiff_t>(*twin - 1));
                if (!watched.injected) {
                    action.kind = X11PressAction::Kind::Report;
                    action.event = watched;
                    return action;
                }
            }
            action.kind = X11PressAction::Kind::ReplayUnreported;
            return action;
        }
        }
    }
    return std::nullopt;
}
