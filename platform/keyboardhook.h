// The outside keyboard hook: one event per key press anywhere on the desktop.
// Plain C++ on purpose, so that an OS backend builds and tests without Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Answer to one key press: 1 keeps the key from the focused application, 0 lets it through.
using KeyDecision = std::function<void(std::int16_t discard)>;

class KeyboardHook {
public:
    // Called once per key press (never for a release), on the UI thread, with the Windows
    // virtual-key code. The receiver calls the decision exactly once, at once or later.
    using KeyHandler = std::function<void(int keyCode, KeyDecision decide)>;

    KeyboardHook() = default;
    KeyboardHook(const KeyboardHook&) = delete;
    KeyboardHook& operator=(const KeyboardHook&) = delete;
    virtual ~KeyboardHook() = default;

    // Starts delivering key presses to the handler. False, with a reason for the user in
    // error, when the keyboard cannot be watched; true with a reason when keys come only once
    // the user takes the step it names.
    virtual bool start(KeyHandler handler, std::string& error) = 0;
    // Whether the suggestion pop-up is visible: only then may a key press be discarded.
    virtual void setPopupVisible(bool visible) = 0;
    // The words the visible pop-up offers and its selected row, after each key that leaves it up,
    // for hooks that can show them at the caret as well.
    virtual void showSuggestions(const std::vector<std::string>& words, int selectedRow) {
        (void)words;
        (void)selectedRow;
    }
    // Short name of the backend, shown to the user.
    virtual std::string name() const = 0;
};

// Delivers nothing: for platforms without a hook, and for tests that need none.
class NullKeyboardHook final : public KeyboardHook {
public:
    bool start(KeyHandler, std::string&) override { return true; }
    void setPopupVisible(bool) override {}
    std::string name() const override { return "none"; }
};
