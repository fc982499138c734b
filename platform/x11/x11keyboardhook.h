// The keyboard hook of X11 desktops: reports every key press of the desktop and, while the suggestion
// pop-up is up, can keep Up, Down, the completion key (Tab or Shift) and, when they pick a row, the digits
// from the focused application.
#pragma once

#include "platform/keyboardhook.h"

#include <memory>

class X11Display;

class X11KeyboardHook final : public KeyboardHook {
public:
    // From start() on, a thread of the hook owns the display connection; the injector that shares it
    // hands its keystrokes to that thread.
    X11KeyboardHook(std::shared_ptr<X11Display> display, int decisionWatchdogMs);
    ~X11KeyboardHook() override;

    bool start(KeyHandler handler, std::string& error) override;
    void setPopupVisible(bool visible) override;
    void setCompletionKey(int keyCode) override;
    void setNumberKeys(bool on) override;
    std::string name() const override { return "X11"; }
    std::string pressText() const override;

    struct State;

private:
    std::shared_ptr<State> m_state;
};
