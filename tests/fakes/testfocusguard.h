// A focus guard driven by tests: they move the focus and read back what the program asked of it.
#pragma once

#include "platform/focusguard.h"

class TestFocusGuard final : public FocusGuard {
public:
    bool start(ChangeHandler handler, std::string&) override {
        m_handler = std::move(handler);
        return true;
    }
    FocusState state() const override { return m_state; }
    void setWatchPasswordFields(bool watch) override { watchesPasswordFields = watch; }
    void setOwnKeyboardHoldPossible(bool possible) override { ownHoldPossible = possible; }
    std::string name() const override { return "test"; }

    // Changes the state and reports it, as a backend does after a focus change.
    void change(const FocusState& state) {
        m_state = state;
        if (m_handler)
            m_handler(m_state);
    }
    void focusApplication(const std::string& id, bool thisProgram = false) {
        FocusState next = m_state;
        next.application = {id, id, thisProgram};
        next.passwordField = false;
        change(next);
    }
    void setPasswordField(bool password) {
        FocusState next = m_state;
        next.passwordField = password;
        change(next);
    }

    // The focused field's answer: still being asked, or whether it is a password field.
    void answerField(bool asked, bool password) {
        FocusState next = m_state;
        next.fieldAsked = asked;
        next.passwordField = password;
        change(next);
    }
    bool watchesPasswordFields = false;
    bool ownHoldPossible = false;

private:
    ChangeHandler m_handler;
    FocusState m_state;
};
