// The keyboard hook of Windows: reports every key press of the desktop and, while the suggestion
// pop-up is up, can keep Up, Down, the completion key and the digits that pick a row from the focused
// application.
#pragma once

#include "platform/keyboardhook.h"

#include <memory>

class Win32PasteGate;

class Win32KeyboardHook final : public KeyboardHook {
public:
    // decisionTimeLimitMs bounds the wait for the handler's answer about a key that may be swallowed;
    // the key goes through when it passes, and a later answer to swallow it returns false. The gate
    // tells whether a swallowed key's handling sent a paste, which the keys typed next must follow.
    Win32KeyboardHook(std::shared_ptr<Win32PasteGate> gate, int decisionTimeLimitMs);
    ~Win32KeyboardHook() override;

    bool start(KeyHandler handler, std::string& error) override;
    void setPopupVisible(bool visible) override;
    void setCompletionKey(int keyCode) override;
    void setNumberKeys(bool on) override;
    std::string name() const override { return "Win32"; }
    // From the Shift and Caps Lock keys the hook saw, not from the application's own key state.
    // In the keyboard layout of the application in front, with the modifiers the hook saw.
    std::string pressText() const override;

    struct State;

private:
    std::shared_ptr<State> m_state;
};
