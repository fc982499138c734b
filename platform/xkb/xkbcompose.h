// Dead keys and compose sequences through libxkbcommon's compose table for the user's locale, the one
// X and GTK applications read too. Shared by the backends whose keys are keysyms; each keeps its own
// rule for a press that cancels a sequence. Pure (no display), so that its table is tested on its own.
#pragma once

#include <memory>
#include <string>

class XkbCompose {
public:
    enum class Step {
        Typed,     // outside any sequence: the keysym's own character
        Composing, // begins or goes on with a sequence: types nothing yet
        Composed,  // ends a sequence: types its result
        Cancelled, // matches no sequence: the sequence is dropped, the press typed nothing
    };
    struct Press {
        Step step = Step::Typed;
        // UTF-8; empty for a keysym without a character or a control character (Return, Tab, BackSpace,
        // Escape, Delete), and while composing or cancelled.
        std::string text;
    };

    // The compose table of locale, or of "C" when the locale has none; without either, every press
    // types its keysym's own character.
    explicit XkbCompose(const std::string& locale);
    XkbCompose(const XkbCompose&) = delete;
    XkbCompose& operator=(const XkbCompose&) = delete;
    ~XkbCompose();

    // The locale whose compose table applications read: LC_ALL, LC_CTYPE or LANG, the first one set;
    // "C" when none is.
    static std::string localeOfEnvironment();
    // The character a keysym types on its own, as UTF-8; empty as for Press::text.
    static std::string textOf(unsigned long keysym);

    // Feeds a press, in the order the application gets them, so that a sequence under way is the
    // application's. Modifier keysyms (Shift) leave a sequence going and are Typed.
    Press press(unsigned long keysym);
    // Drops a sequence under way, as the application does when the focus moves away.
    void reset();

private:
    struct Tables;
    std::unique_ptr<Tables> m_tables;
};
