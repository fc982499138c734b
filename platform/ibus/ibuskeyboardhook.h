// The keyboard hook of Wayland desktops (and of X11 ones by choice): an IBus engine inside this
// process sees every key of the focused text field, answers each press before IBus goes on, and
// commits completed words into the field.
#pragma once

#include "platform/keyboardhook.h"
#include "platform/keyinjector.h"

#include <memory>

class IBusKeyboardHook final : public KeyboardHook {
public:
    // decisionWatchdogMs: the longest a press that may be swallowed waits for the handler. selected: IBus
    // started the program for its engine, which it reports as selected only once the engine is there.
    IBusKeyboardHook(int decisionWatchdogMs, bool selected);
    ~IBusKeyboardHook() override;

    // Connects to the IBus daemon and offers the engine. Reports in error, while still returning true,
    // when IBus is not running yet or the engine is not the selected input source.
    bool start(KeyHandler handler, std::string& error) override;
    void setPopupVisible(bool visible) override;
    void setCompletionKey(int keyCode) override;
    // Also labels the lookup table's first nine rows with their digits; without, every label is blank.
    void setNumberKeys(bool on) override;
    // Published as the engine's lookup table, which desktops with an IBus panel show at the caret.
    bool showsSuggestions() const override { return true; }
    void showSuggestions(const std::vector<std::string>& words, int selectedRow) override;
    std::string name() const override { return "IBus"; }
    // From the key's symbol, dead keys and compose sequences worked out by the engine itself.
    std::string pressText() const override;

    // The completion route of this engine: commits the rest of the word for the press being decided.
    std::unique_ptr<KeyInjector> createTextCommitter();

    struct State;

private:
    std::shared_ptr<State> m_state;
};
