// The keyboard hook of Windows: reports every key press of the desktop and, while the suggestion
// pop-up is up, can keep Up, Down, Tab and Shift from the focused application.
#pragma once

#include "platform/keyboardhook.h"

#include <memory>

class Win32PasteGate;

class Win32KeyboardHook final : public KeyboardHook {
public:
    // decisionTimeLimitMs bounds the wait for the handler's answer about a key that may be swallowed;
    // the key goes through when it passes. The gate holds the paste of a completion key until the
    // key is known to be swallowed.
    Win32KeyboardHook(std::shared_ptr<Win32PasteGate> gate, int decisionTimeLimitMs);
    ~Win32KeyboardHook() override;

    bool start(KeyHandler handler, std::string& error) override;
    void setPopupVisible(bool visible) override;
    std::string name() const override { return "Win32"; }

    struct State;

private:
    std::shared_ptr<State> m_state;
};
