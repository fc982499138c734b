// Dead keys and compose sequences, worked out inside the IBus engine. IBus's GTK 3 module (in its
// default asynchronous mode) and Qt's IBus input context compose nothing of what an engine lets
// through, so the engine composes itself, from the compose tables of the user's locale that X and
// GTK read as well, and types the result. Engine thread only.
#pragma once

#include <memory>
#include <string>

class IBusComposer {
public:
    struct Typed {
        // Part of a sequence that goes on: the press types nothing yet and goes no further.
        bool held = false;
        // Ends a sequence: text is its result, which the field gets instead of the key.
        bool composed = false;
        // What the press types, as UTF-8; empty when it types nothing, or is a shortcut.
        std::string text;
    };

    // The compose table of locale (when empty, of LC_ALL, LC_CTYPE or LANG), else of "C". Without
    // any table every press types its own character.
    explicit IBusComposer(std::string locale = {});
    ~IBusComposer();
    IBusComposer(const IBusComposer&) = delete;
    IBusComposer& operator=(const IBusComposer&) = delete;

    // A key press, as the layout and the held modifiers made its keysym (an IBus keyval). shortcut:
    // Ctrl, Alt or a logo key is held; such a press types nothing and ends a sequence begun.
    Typed press(unsigned keysym, bool shortcut);
    // Drops a sequence begun: the focus moved, or the field was reset.
    void reset();

private:
    struct Tables;
    std::unique_ptr<Tables> m_tables;
};
