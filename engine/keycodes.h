// Windows virtual-key codes the key handling tells apart, and the character a key adds to a word.
#pragma once

#include <QString>

namespace KeyCode {
constexpr int Backspace = 8;
constexpr int Tab = 9;
constexpr int Enter = 13;
constexpr int Shift = 16;
constexpr int Escape = 27;
constexpr int Space = 32;
constexpr int Up = 38;
constexpr int Down = 40;
constexpr int FirstCharacter = 65; // A
constexpr int LastCharacter = 121; // F10; F11 (122) adds nothing
} // namespace KeyCode

// The lower-cased character that a key adds to the word, or the empty text. Keys 91 to 121
// (Windows keys, keypad, F1 to F10) are taken by their code too: keypad 1 adds "a", F1 "p".
inline QString keyCharacter(int keyCode) {
    if (keyCode < KeyCode::FirstCharacter || keyCode > KeyCode::LastCharacter)
        return QString();
    return QString(QChar(keyCode).toLower());
}
