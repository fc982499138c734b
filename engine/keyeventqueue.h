// Hands key presses to the handler one at a time, in the order they arrived.
#pragma once

#include "platform/keyboardhook.h"

#include <deque>

class KeyEventQueue {
public:
    explicit KeyEventQueue(KeyboardHook::KeyHandler handler);
    KeyEventQueue(const KeyEventQueue&) = delete;
    KeyEventQueue& operator=(const KeyEventQueue&) = delete;

    // Handles the press at once, unless another one is being handled: the handler never yields
    // to the event loop itself, but showing a window may run waiting events (it does on
    // Windows), and further presses arrive there. Such a press waits and is handled right after
    // the running one, its decision then made.
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
