// The focus guard of Windows: which application has the foreground (its executable's file name)
// and whether the focused control of the foreground thread is a password field (an EDIT with
// ES_PASSWORD), told by focus and foreground events, never per key.
#pragma once

#include "platform/focusguard.h"

#include <memory>
#include <string_view>

class Win32FocusGuard final : public FocusGuard {
public:
    Win32FocusGuard();
    ~Win32FocusGuard() override;

    // Must be called on a thread that dispatches messages (the UI thread): the events come there.
    bool start(ChangeHandler handler, std::string& error) override;
    FocusState state() const override;
    void setWatchPasswordFields(bool watch) override;
    // Windows has no keyboard grabs for another program to hold: nothing to tell apart.
    void setOwnKeyboardHoldPossible(bool) override {}
    std::string name() const override { return "Win32"; }

    struct State;

private:
    std::shared_ptr<State> m_state;
};

// Whether a control of this window class and style hides what is typed into it: the system's edit
// controls (also the rich-edit ones) with ES_PASSWORD.
bool win32IsPasswordField(std::wstring_view className, long long style);
