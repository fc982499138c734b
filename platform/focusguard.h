// Watches where typing goes, so that completion can pause where it must not watch the keys.
// Plain C++ on purpose, like the keyboard hook, so that an OS backend builds and tests without Qt.
#pragma once

#include <functional>
#include <string>

// The application that has the focus.
struct FocusedApplication {
    // Stable across runs, for the exclusion list: the class of WM_CLASS on X11, the executable's
    // file name on Windows. Empty when no application has the focus or it cannot be told.
    std::string id;
    // Shown to the user.
    std::string name;
    // The window belongs to this program itself.
    bool thisProgram = false;

    bool operator==(const FocusedApplication&) const = default;
};

// What the guard knows, as of the last focus change.
struct FocusState {
    FocusedApplication application;
    // The focused field hides what is typed into it: a password or PIN field, or a terminal whose
    // program reads a line without echo.
    bool passwordField = false;
    // The focus moved and the new field is still being asked whether it is a password field (for a
    // bounded time): it may be one.
    bool fieldAsked = false;
    // The focused field did not say in time whether it is a password field.
    bool fieldUnknown = false;
    // Another program holds the whole keyboard: a password prompt or a locked screen.
    bool keyboardHeld = false;
    // Why password fields cannot be told apart while they are watched (the accessibility bus cannot
    // be reached), for the user; empty when they can.
    std::string passwordFieldsProblem;

    bool operator==(const FocusState&) const = default;
};

class FocusGuard {
public:
    // Called on the UI thread after each change of the state, never per key.
    using ChangeHandler = std::function<void(const FocusState&)>;

    FocusGuard() = default;
    FocusGuard(const FocusGuard&) = delete;
    FocusGuard& operator=(const FocusGuard&) = delete;
    virtual ~FocusGuard() = default;

    // Starts watching. False, with a reason for the user in error, when the focus cannot be watched;
    // the state then stays empty.
    virtual bool start(ChangeHandler handler, std::string& error) = 0;
    // The state as of the last change; cheap, no round trip.
    virtual FocusState state() const = 0;
    // Whether to tell password fields. It may cost every application some work (on X11 it needs
    // assistive-technology support switched on), so it can be switched off; off, passwordField,
    // fieldAsked and fieldUnknown stay false.
    virtual void setWatchPasswordFields(bool watch) = 0;
    // Whether this program's own keyboard hook may be holding the keyboard right now (it does
    // while the pop-up is up): such a hold must not count as another program's.
    virtual void setOwnKeyboardHoldPossible(bool possible) = 0;
    // Short name of the backend, shown to the user.
    virtual std::string name() const = 0;
};

// Knows nothing and never pauses: for platforms without a guard.
class NullFocusGuard final : public FocusGuard {
public:
    bool start(ChangeHandler, std::string&) override { return true; }
    FocusState state() const override { return {}; }
    void setWatchPasswordFields(bool) override {}
    void setOwnKeyboardHoldPossible(bool) override {}
    std::string name() const override { return "none"; }
};
