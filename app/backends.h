// Chooses the keyboard backends for this desktop, in one place.
#pragma once

#include "platform/clipboard.h"
#include "platform/keyboardhook.h"
#include "platform/keyinjector.h"
#include "platform/sessionautostart.h"

#include <QString>
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
    // The clipboard the injector's paste reads, kept for the user around each paste.
    std::unique_ptr<Clipboard> clipboard;
    // Why no real backend could be chosen, for the user; empty when one was.
    std::string problem;
};

// Picks the hook, injector and clipboard that can work here. Never fails: without a usable desktop the
// null backends come back, with the reason in problem.
KeyboardBackends createKeyboardBackends(const KeyboardBackendOptions& options = {});

class FocusGuard;

// The focus guard for this desktop: the X11 one when an X display is named, else one that knows
// nothing (completion then never pauses by itself). display as in KeyboardBackendOptions.
std::unique_ptr<FocusGuard> createFocusGuard(const std::string& display = {});

struct SessionAutostartOptions {
    QString appId;       // the desktop's name for the program
    QString name;        // shown by the session's settings
    QString comment;     // one line saying what the program does
    QString programPath; // the program the session starts
    QString configDir;   // the user's configuration folder ($XDG_CONFIG_HOME on Linux)
};

// Picks how this desktop starts programs with the session; the null one where none is known.
std::unique_ptr<SessionAutostart> createSessionAutostart(const SessionAutostartOptions& options);
