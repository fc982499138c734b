// What each key press types once dead keys and compose sequences are worked out, by libxkbcommon's
// compose table for the user's locale. Pure (no display), so that its table is tested on its own.
#pragma once

#include <memory>
#include <string>

class X11Composer {
public:
    // The compose table of the locale, or of "C" when the locale has none; without either, every press
    // types its keysym's own character.
    explicit X11Composer(const std::string& locale);
    X11Composer(const X11Composer&) = delete;
    X11Composer& operator=(const X11Composer&) = delete;
    ~X11Composer();

    // The locale whose compose table the user's applications read: LC_ALL, LC_CTYPE or LANG, the
    // first one set; "C" when none is.
    static std::string localeOfEnvironment();
    // The character a keysym types on its own, as UTF-8; empty for one that types none.
    static std::string textOf(unsigned long keysym);

    // What a press of this keysym types, as UTF-8: its own character; nothing when it starts or
    // continues a sequence, or cancels one; the sequence's result when it ends one. Fed every press in
    // the order the application gets them, so that a sequence under way is the application's.
    std::string press(unsigned long keysym);
    // Forgets a sequence under way, as the application does when the focus moves away.
    void reset();

private:
    struct Tables;
    std::unique_ptr<Tables> m_tables;
};
