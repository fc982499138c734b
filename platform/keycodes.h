// The key vocabulary: the Windows virtual-key codes every keyboard hook reports and the engine tells
// apart, which of those keys a hook may swallow, and the character a key adds to a word.
#pragma once

#include <QList>
#include <QString>

namespace KeyCode {
constexpr int Backspace = 8;
constexpr int Tab = 9;
constexpr int Enter = 13;
constexpr int Shift = 16;
constexpr int Alt = 18; // AltGr as well, which types letters in many layouts
constexpr int CapsLock = 20;
constexpr int Escape = 27;
constexpr int Space = 32;
constexpr int FirstRowDigit = 49; // the 1 of the top row; keypad digits are 97 to 105
constexpr int LastRowDigit = 57;  // 9
constexpr int Up = 38;
constexpr int Down = 40;
constexpr int FirstCharacter = 65; // A
constexpr int LastCharacter = 121; // F10; F11 (122) adds nothing
// A key that has no virtual-key code (Windows uses the same value).
constexpr int Unknown = 255;
// No completion key chosen yet: Tab and Shift both complete.
constexpr int CompletionKeyUntold = -1;

// The row of the pop-up (0 for the first) that a top-row digit key picks, or -1 for any other key.
constexpr int pickedRow(int keyCode) {
    return keyCode >= FirstRowDigit && keyCode <= LastRowDigit ? keyCode - FirstRowDigit : -1;
}

// Whether a hook may swallow a press while the pop-up is up: Up and Down move the selection, the
// completion key (Tab or Shift, 0 none, CompletionKeyUntold) completes the word, and while numberKeys is
// on the digits 1 to 9 complete with a row. Every other key reaches the application; holding one for
// nothing would cost each press of it a wait for the engine.
constexpr bool maySwallow(int keyCode, int completionKey, bool numberKeys) {
    if (keyCode == Up || keyCode == Down)
        return true;
    if (pickedRow(keyCode) >= 0)
        return numberKeys;
    if (keyCode != Tab && keyCode != Shift)
        return false;
    return completionKey == CompletionKeyUntold || keyCode == completionKey;
}

// Whether a key is one of the punctuation keys (the Windows OEM codes), where layouts put their dead
// keys.
constexpr bool isSignKey(int keyCode) {
    return (keyCode >= 186 && keyCode <= 192) || (keyCode >= 219 && keyCode <= 223);
}

// Whether a swallowed press completes a word, so that a paste follows it: a digit is swallowed only
// when it picks a row.
constexpr bool completes(int keyCode) {
    return keyCode == Tab || keyCode == Shift || pickedRow(keyCode) >= 0;
}
} // namespace KeyCode

// The lower-cased character that a key adds to the word, or the empty text. Keys 91 to 121
// (Windows keys, keypad, F1 to F10) are taken by their code too: keypad 1 adds "a", F1 "p".
inline QString keyCharacter(int keyCode) {
    if (keyCode < KeyCode::FirstCharacter || keyCode > KeyCode::LastCharacter)
        return QString();
    return QString(QChar(keyCode).toLower());
}

// Whether a press's text is a letter of some script: a letter, possibly followed by combining
// marks (what a compose sequence may give). Digits, signs and spaces are no letters.
inline bool isTypedLetter(const QString& typed) {
    if (typed.isEmpty())
        return false;
    const QList<uint> codePoints = typed.toUcs4();
    if (!QChar::isLetter(codePoints.front()))
        return false;
    for (qsizetype i = 1; i < codePoints.size(); ++i) {
        const QChar::Category category = QChar::category(codePoints[i]);
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining &&
            category != QChar::Mark_Enclosing)
            return false;
    }
    return true;
}

// The character a press adds to the word, lower-cased: the letter it typed in the user's layout,
// any script, or else what its code adds (keyCharacter).
inline QString wordCharacter(int keyCode, const QString& typed) {
    return isTypedLetter(typed) ? typed.toLower() : keyCharacter(keyCode);
}
