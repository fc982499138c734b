// What the key handling reads of the main window's settings, and what it keeps between keys,
// under the names the program's documents give the controls that show them.
#pragma once

#include <QString>

// A snapshot of the settings, pushed by the main window whenever one of its controls changes.
struct EngineSettings {
    QString Text9 = QStringLiteral("3");  // minimum letters before the pop-up shows
    QString Text8 = QStringLiteral("4");  // minimum length of a word to add; only kept numeric here
    QString Text4 = QStringLiteral("15"); // most words to offer, put into the query as written
    Qt::CheckState Check1 = Qt::Checked;  // completion switched on
    Qt::CheckState Check4 = Qt::Checked;  // offer custom words
    Qt::CheckState Check5 = Qt::Checked;  // offer default words

    bool operator==(const EngineSettings&) const = default;
};

// The key handling's working storage.
struct TypingState {
    QString Text5;  // the word buffer: the lower-cased characters typed since the word began
    QString Text1;  // the character of the last key, empty for a key that adds none
    QString Label1; // the last key, as its character, a space and its code: "a 65"
};
