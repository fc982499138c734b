// The clipboard and primary selection of X11 desktops around a completion's paste: what they held is
// read beforehand and put back once the application has fetched the pasted text.
#pragma once

#include "platform/clipboard.h"

#include <memory>
#include <string>

class X11Display;

class X11Clipboard final : public Clipboard {
public:
    // A connection and a thread of its own on the keyboard's display. keyboard is the hook's
    // connection, through which the clipboard hears when a paste is over. Null, with the reason in
    // error, when the display cannot be opened.
    static std::unique_ptr<X11Clipboard> open(std::shared_ptr<X11Display> keyboard, std::string& error);
    ~X11Clipboard() override;

    // Waits for the clipboard's thread a little longer than the bound on reading what was there.
    Placement placeForPaste(const QString& text) override;

    struct State;

private:
    explicit X11Clipboard(std::shared_ptr<State> state);

    std::shared_ptr<State> m_state;
};
