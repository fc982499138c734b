// Hands key presses to the handler one at a time, in the order they arrived.
#pragma once

#include "platform/keyboardhook.h"

#include <deque>

class KeyEventQueue {
public:
    explicit KeyEventQueue(KeyboardHook::KeyHandler handler);
    KeyEventQueue(const KeyEventQueue&) = delete;
    KeyEventQueue& operator=(const KeyEventQueue&) = delete;

    // Handles the press at once, unless another one is being handled: the handler yields to
    // the event loop, where further presses arrive. Such a press waits and is handled right
    // after the running one, its decision then made.
    void press(int keyCode, KeyDecision decide);

private:
    struct Press {
        int keyCode;
        KeyDecision decide;
    };

    KeyboardHook::KeyHandler m_handler;
    std::deque<Press> m_waiting;
    bool m_busy = false;
};
