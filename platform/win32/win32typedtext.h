// What a key press types in the keyboard layout of the application in front, worked out on the keyboard
// hook's thread. Windows is asked without changing the keyboard state (the dead key typed last) that the
// application's own translation of the key goes by, so dead keys are composed here.
#pragma once

#include <windows.h>

#include <string>

// The text of a dead key's accent and of the key typed after it, as Windows types them: the composed
// letter when there is one, else the accent and the text both ("´x"); a space types the accent alone.
// Text that came composed already (the layout's own dead-key state reached the call) stays as it is.
std::wstring withDeadKey(wchar_t accent, const std::wstring& typed);

class Win32TypedText {
public:
    // The modifiers as the hook's own keys left them.
    struct Modifiers {
        bool leftShift = false;
        bool rightShift = false;
        bool capsLock = false;
        bool leftControl = false;
        bool rightControl = false;
        bool leftAlt = false;
        bool rightAlt = false;
    };

    // The text of a key-down the hook saw, as UTF-8: empty for a dead key (its letter comes with the next
    // key), a key that types nothing or a shortcut (Ctrl or Alt alone held; both are AltGr).
    std::string press(const KBDLLHOOKSTRUCT& key, const Modifiers& modifiers);

private:
    wchar_t m_accent = 0;     // of a dead key typed last
    DWORD m_accentThread = 0; // the thread in front when it was typed
};
