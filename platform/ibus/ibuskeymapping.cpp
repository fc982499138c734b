// The IBus key mapping: the evdev positions of the alphanumeric block, over the X11 keysym tables.
#include "ibuskeymapping.h"

#include "platform/keycodes.h"
#include "platform/x11/x11keymapping.h"

#include <string>

namespace {

// The XKB name (such as "AC01") of the key at an evdev position of the alphanumeric block, or empty.
std::string keyNameOfEvdevCode(unsigned code) {
    struct Row {
        const char* prefix;
        unsigned first; // evdev code of the row's first key
        unsigned count;
    };
    static constexpr Row rows[] = {{"AE", 2, 12}, {"AD", 16, 12}, {"AC", 30, 11}, {"AB", 44, 10}};
    switch (code) {
    case 41:
        return "TLDE";
    case 43:
        return "BKSL";
    case 57:
        return "SPCE";
    case 86:
        return "LSGT";
    default:
        break;
    }
    for (const Row& row : rows) {
        if (code < row.first || code >= row.first + row.count)
            continue;
        const unsigned position = code - row.first + 1;
        return std::string(row.prefix) + static_cast<char>('0' + position / 10) +
               static_cast<char>('0' + position % 10);
    }
    return {};
}

bool isLetterOrDigit(unsigned keyval) {
    return (keyval >= 'a' && keyval <= 'z') || (keyval >= 'A' && keyval <= 'Z') ||
           (keyval >= '0' && keyval <= '9');
}

// Keysyms below the function-key block, and Unicode keysyms, type a character.
bool typesCharacter(unsigned keyval) {
    return keyval < 0xfe00 || (keyval & 0xff000000u) == 0x01000000u;
}

} // namespace

int virtualKeyForIBus(unsigned keyval, unsigned keyCode) {
    const int byKeysym = virtualKeyFromKeysym(keyval);
    if (isLetterOrDigit(keyval))
        return byKeysym;
    const int byPosition = virtualKeyFromKeyName(keyNameOfEvdevCode(keyCode));
    if (typesCharacter(keyval)) {
        if (byPosition)
            return byPosition;
        return byKeysym ? byKeysym : KeyCode::Unknown;
    }
    if (byKeysym)
        return byKeysym;
    return byPosition ? byPosition : KeyCode::Unknown;
}
