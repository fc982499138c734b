// Chooses the keyboard backends for this desktop, in one place.
#pragma once

#include "keyboardhook.h"
#include "keyinjector.h"

#include <memory>
#include <string>

struct KeyboardBackendOptions {
    // The X display to use; empty means the DISPLAY environment variable.
    std::string display;
    // How long a key held by the hook waits for the handler's decision before it is let
    // through: a frozen keyboard is never acceptable. The handler answers within a few
    // milliseconds; the rest leaves a loaded desktop room to keep every key under 200 ms.
    int decisionWatchdogMs = 100;
    // The IBus engine even on an X11 session, by the user's choice.
    bool useInputMethod = false;
    // IBus started this process because the user selected its engine: the IBus engine, selected.
    bool startedByInputMethod = false;
};

struct KeyboardBackends {
    std::unique_ptr<KeyboardHook> hook;
    std::unique_ptr<KeyInjector> injector;
    // Why no real backend could be chosen, for the user; empty when one was.
    std::string problem;
};

// Picks the hook and injector that can work here. Never fails: without a usable desktop the
// null backends come back, with the reason in problem.
KeyboardBackends createKeyboardBackends(const KeyboardBackendOptions& options = {});

class FocusGuard;

// The focus guard for this desktop: the X11 one when an X display is named, else one that knows
// nothing (completion then never pauses by itself). display as in KeyboardBackendOptions.
std::unique_ptr<FocusGuard> createFocusGuard(const std::string& display = {});
