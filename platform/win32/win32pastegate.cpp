// Tells the keyboard hook when the paste of a completion has gone out.
#include "win32pastegate.h"

#include <utility>

Win32PasteGate::Win32PasteGate(Sender send)
    : m_send(std::move(send)) {}

bool Win32PasteGate::request() {
    const bool sent = m_send();
    m_sent = m_sent || sent;
    return sent;
}

bool Win32PasteGate::takeSent() {
    return std::exchange(m_sent, false);
}
