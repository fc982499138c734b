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
    // Hands the text straight to the focused field, where the backend can (an input method), for
    // the key press being decided. True when the backend took care of it (it may drop the text
    // when that key already reached the application); false when the paste must do it.
    virtual bool commitText(const std::string& utf8) {
        (void)utf8;
        return false;
    }
    // Short name of the backend, shown to the user.
    virtual std::string name() const = 0;
};

class NullKeyInjector final : public KeyInjector {
public:
    bool sendShiftInsert() override { return false; }
    std::string name() const override { return "none"; }
};
