// The 8-bit code page word-list files are written in when they are not Unicode.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// A code page of one byte per character (Windows' East Asian ANSI pages take two for some), every
// byte decoding to a character of its own, so that decoding and encoding again gives back the same
// bytes.
struct CodePage {
    QString name;
    QString (*decode)(QByteArrayView bytes);
    // Nothing when text holds a character the code page has no byte for.
    std::optional<QByteArray> (*encode)(QStringView text);
};

// The code page of 8-bit word lists: on Windows the system's ANSI code page, in which its programs
// write them; elsewhere Windows-1252, the page such files mostly come from.
CodePage eightBitWordListCodePage();

// Windows-1252, its five unassigned bytes decoding to the control characters of the same value.
CodePage windows1252();
