// The focus guard of X11 desktops: which application has the focus (WM_CLASS of its top-level
// window), whether another client holds the keyboard (a password prompt, a screen locker), and,
// through the accessibility bus, whether the focused field is a password field; for a terminal,
// whether its program reads a line without echo (a password prompt).
#pragma once

#include "platform/focusguard.h"

#include <memory>

class X11FocusGuard final : public FocusGuard {
public:
    // display: empty for $DISPLAY. The guard opens its own connection: focus events must not
    // queue behind the keyboard hook's key events.
    explicit X11FocusGuard(std::string display);
    ~X11FocusGuard() override;

    bool start(ChangeHandler handler, std::string& error) override;
    FocusState state() const override;
    void setWatchPasswordFields(bool watch) override;
    void setOwnKeyboardHoldPossible(bool possible) override;
    std::string name() const override { return "X11"; }

    struct State;

private:
    std::shared_ptr<State> m_state;
};

// Whether a focus event's detail tells of the window that takes the focus itself, rather than of
// a window between it and the old focus, or of the window under the pointer.
bool x11FocusDetailIsTarget(int detail);
