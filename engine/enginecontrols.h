// The main window's controls that the key handling reads and writes on every key event.
#pragma once

class QCheckBox;
class QLabel;
class QLineEdit;

// Every pointer must stay valid for the engine's whole life.
struct EngineControls {
    QLineEdit* Text9;  // minimum letters before the pop-up shows
    QLineEdit* Text8;  // minimum length of a word to add; only kept numeric here
    QLineEdit* Text4;  // most words to offer
    QCheckBox* Check1; // completion switched on
    QCheckBox* Check4; // offer custom words
    QCheckBox* Check5; // offer default words
    QLineEdit* Text1;  // hidden: the character of the last key
    QLineEdit* Text5;  // hidden: the word buffer
    QLabel* Label1;    // hidden: the last key, as character and code
};
