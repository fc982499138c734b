// Hands key presses to the handler one at a time, in the order they arrived.
#include "keyeventqueue.h"

KeyEventQueue::KeyEventQueue(KeyboardHook::KeyHandler handler)
    : m_handler(std::move(handler)) {}

void KeyEventQueue::press(int keyCode, KeyDecision decide) {
    if (m_busy) {
        m_waiting.push_back({keyCode, std::move(decide)});
        return;
    }
    m_busy = true;
    struct Idle {
        bool& busy;
        ~Idle() { busy = false; }
    } idle{m_busy};
    m_handler(keyCode, std::move(decide));
    while (!m_waiting.empty()) {
        Press next = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_handler(next.keyCode, std::move(next.decide));
    }
}
