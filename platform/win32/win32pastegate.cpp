// Holds a paste asked for while a key is being handled until that key's decision is known.
#include "win32pastegate.h"

#include <utility>

Win32PasteGate::Win32PasteGate(Sender send)
    : m_send(std::move(send)) {}

bool Win32PasteGate::request() {
    if (!m_gated)
        return m_send();
    m_waiting = true;
    return true;
}

bool Win32PasteGate::settle(bool swallowedInTime) {
    if (!std::exchange(m_waiting, false))
        return false;
    return swallowedInTime && m_send();
}
