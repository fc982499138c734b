// A keyboard hook driven by tests: they press keys and read back each decision.
#pragma once

#include "platform/keyboardhook.h"

#include <memory>
#include <optional>
#include <set>
#include <vector>

class TestKeyboardHook final : public KeyboardHook {
public:
    struct Decision {
        int keyCode;
        std::int16_t discard;
    };

    bool start(KeyHandler handler, std::string&) override {
        m_handler = std::move(handler);
        return true;
    }
    void setPopupVisible(bool visible) override { m_popupVisible = visible; }
    void setCompletionKey(int) override {}
    void setNumberKeys(bool on) override { numberKeys = on; }
    bool showsSuggestions() const override { return true; }
    void showSuggestions(const std::vector<std::string>&, int) override {}
    std::string name() const override { return "test"; }
    std::string pressText() const override { return m_text; }

    // Delivers a press that typed text (UTF-8) in the user's layout.
    std::optional<std::int16_t> pressTyping(int keyCode, std::string text) {
        m_text = std::move(text);
        const std::optional<std::int16_t> discard = press(keyCode);
        m_text.clear();
        return discard;
    }

    // Delivers one key press. The decision, when it was made before this returns; a press
    // that arrived while another was being handled is answered later (see decisions()).
    std::optional<std::int16_t> press(int keyCode) {
        if (!m_handler)
            return std::nullopt;
        // Shared, since a later decision runs after this call has returned.
        struct Answer {
            std::optional<std::int16_t> discard;
            bool returned = false;
        };
        const auto answer = std::make_shared<Answer>();
        const bool late = m_lateKeys.count(keyCode) > 0;
        m_handler(keyCode, [this, keyCode, answer, late](std::int16_t asked) {
            // A key already let through reached the application whatever the answer.
            const std::int16_t discard = late ? std::int16_t(0) : asked;
            m_decisions.push_back({keyCode, discard});
            if (!answer->returned)
                answer->discard = discard;
            return discard == asked;
        });
        answer->returned = true;
        return answer->discard;
    }
    // Every decision made so far, in the order they were made.
    const std::vector<Decision>& decisions() const { return m_decisions; }
    // Presses of these keys act as if the hook had let them through before the answer came.
    void setLateKeys(std::set<int> keyCodes) { m_lateKeys = std::move(keyCodes); }
    // What the engine last said about the pop-up.
    bool popupVisible() const { return m_popupVisible; }
    // Whether the engine last said the digits pick a row.
    bool numberKeys = false;

private:
    KeyHandler m_handler;
    std::vector<Decision> m_decisions;
    bool m_popupVisible = false;
    std::string m_text;
    std::set<int> m_lateKeys;
};
