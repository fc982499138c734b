// The outside keyboard hook: one event per key press anywhere on the desktop.
// Plain C++ on purpose, so that an OS backend builds and tests without Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// Answer to one key press: 1 keeps the key from the focused application, 0 lets it through.
// Called exactly once. Returns whether the answer still took effect: false when a discard came
// too late because the hook had already let the key through on its own (a hook may hold a key
// only for a bounded time). A caller that swallows a key to act on it (complete a word, move the
// selection) answers first and acts only on true; on false the key reached the application.
// A backend may hand over a callable returning void: its answers always take effect.
class KeyDecision {
public:
    KeyDecision() = default;
    // Implicit, so that backends pass a plain lambda.
    template <typename Answer,
              typename = std::enable_if_t<!std::is_same_v<std::remove_cvref_t<Answer>, KeyDecision> &&
                                          std::is_invocable_v<Answer&, std::int16_t>>>
    KeyDecision(Answer&& answer) {
        if constexpr (std::is_void_v<std::invoke_result_t<Answer&, std::int16_t>>) {
            m_answer = [inner = std::forward<Answer>(answer)](std::int16_t discard) mutable {
                inner(discard);
                return true;
            };
        } else {
            m_answer = std::forward<Answer>(answer);
        }
    }

    bool operator()(std::int16_t discard) const { return m_answer ? m_answer(discard) : discard == 0; }
    explicit operator bool() const { return static_cast<bool>(m_answer); }

private:
    std::function<bool(std::int16_t)> m_answer;
};

class KeyboardHook {
public:
    // Called once per key press (never for a release), on the UI thread, with the Windows
    // virtual-key code. The receiver calls the decision exactly once, at once or later; a key the
    // hook holds is let through after a bound of its own, whatever the UI thread is doing.
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
    // The key that completes a word (KeyCode::Tab or Shift, 0 none): while the pop-up is up, a hook
    // that must hold keys to discard them holds only those KeyCode::maySwallow names. Until told,
    // both Tab and Shift.
    virtual void setCompletionKey(int keyCode) { (void)keyCode; }
    // Whether the digit keys 1 to 9 pick a row of the pop-up: while on, a hook that must hold keys to
    // discard them holds those too (KeyCode::maySwallow). Until told, off.
    virtual void setNumberKeys(bool on) { (void)on; }
    // Whether showSuggestions does anything: the engine gathers the words only for such a hook.
    virtual bool showsSuggestions() const { return false; }
    // The words the visible pop-up offers and its selected row, after each key that leaves it up,
    // for hooks that can show them at the caret as well.
    virtual void showSuggestions(const std::vector<std::string>& words, int selectedRow) {
        (void)words;
        (void)selectedRow;
    }
    // Short name of the backend, shown to the user.
    virtual std::string name() const = 0;
    // While the handler runs for a press: the text it typed in the user's layout and group, dead
    // keys and compose sequences worked out (the press that ends a sequence types its result), as
    // UTF-8. Empty when it typed nothing, or the backend cannot tell.
    virtual std::string pressText() const { return {}; }
};

// Delivers nothing: for platforms without a hook, and for tests that need none.
class NullKeyboardHook final : public KeyboardHook {
public:
    bool start(KeyHandler, std::string&) override { return true; }
    void setPopupVisible(bool) override {}
    std::string name() const override { return "none"; }
};
