// Holds a paste asked for while a key is being handled until that key's decision is known.
#pragma once

#include <functional>

// The paste for a completion key is sent only when the hook really swallowed that key: a decision
// that comes after the key was let through must not complete the word as well.
class Win32PasteGate {
public:
    using Sender = std::function<bool()>;

    explicit Win32PasteGate(Sender send);

    // From the injector. Sends at once unless a hook decides about the keys (see setGated); then
    // the paste waits for the next decision. False when a paste sent at once failed.
    bool request();
    // From the hook, on the UI thread, with each decision: true sends a waiting paste, false drops it.
    // Returns whether a paste was sent.
    bool settle(bool swallowedInTime);
    // Whether a paste is waiting for a decision.
    bool waiting() const { return m_waiting; }
    void setGated(bool gated) { m_gated = gated; }

private:
    Sender m_send;
    bool m_gated = false;
    bool m_waiting = false;
};
