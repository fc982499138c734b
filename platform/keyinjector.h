// Keystrokes sent into the focused application. Plain C++, like the keyboard hook.
#pragma once

#include <string>

class KeyInjector {
public:
    KeyInjector() = default;
    KeyInjector(const KeyInjector&) = delete;
    KeyInjector& operator=(const KeyInjector&) = delete;
    virtual ~KeyInjector() = default;

    // Queues Shift+Insert for the focused application and returns without waiting for it.
    // False when the keystroke could not be sent.
    virtual bool sendShiftInsert() = 0;
    // Short name of the backend, shown to the user.
    virtual std::string name() const = 0;
};

class NullKeyInjector final : public KeyInjector {
public:
    bool sendShiftInsert() override { return false; }
    std::string name() const override { return "none"; }
};
