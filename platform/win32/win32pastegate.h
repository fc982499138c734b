// Tells the keyboard hook when the paste of a completion has gone out, and the clipboard when it has
// passed the hook.
#pragma once

#include <atomic>
#include <functional>

// After a swallowed completion key the hook holds the keys typed next until the paste has passed
// it; when the key was swallowed for another reason (Up, Down), no paste comes and the hook must
// let them go as soon as the handler is done. The gate tells the two apart.
class Win32PasteGate {
public:
    using Sender = std::function<bool()>;

    explicit Win32PasteGate(Sender send);

    // From the injector: sends the paste now. False when it could not be sent.
    bool request();
    // From the hook, on the UI thread: whether a paste went out since the last call.
    bool takeSent();

    // From the hook thread, before the Insert of a paste goes on to the application: no read of the
    // clipboard before this can be that paste's.
    void notePassed() { m_passed.fetch_add(1, std::memory_order_release); }
    // From any thread: how many pastes have passed the hook so far.
    unsigned passed() const { return m_passed.load(std::memory_order_acquire); }

private:
    Sender m_send;
    bool m_sent = false;
    std::atomic<unsigned> m_passed{0};
};
