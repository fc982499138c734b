// The 8-bit code page word-list files are written in when they are not Unicode.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// A code page of one byte per character (Windows' East Asian ANSI pages take two for some), every
// byte the page assigns decoding to a character of its own, so that decoding and encoding again
// gives back the same bytes.
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

// The pages the system's word lists of some languages were written in before they moved to UTF-8.
// Bytes a page leaves unassigned decode to U+FFFD, and the ISO pages' bytes 0x80 to 0x9F to the
// control characters of the same value, so that text written in another page shows as such.
CodePage iso8859_1();
CodePage iso8859_2();
CodePage iso8859_3();
CodePage koi8u();
CodePage windows1251();
