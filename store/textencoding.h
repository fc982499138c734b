// The encodings word-list files are read and written in, and how a file's encoding is found.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

class QIODevice;

enum class TextEncoding {
    Utf8,
    Utf8WithBom,
    Utf16LE, // with its byte-order mark
    Utf16BE, // with its byte-order mark
    EightBit // the 8-bit word-list code page
};

// Bytes per code unit: 2 for UTF-16, 1 for the others.
int codeUnitSize(TextEncoding encoding);
// Length of the byte-order mark the encoding's files begin with; 0 when they have none.
int byteOrderMarkSize(TextEncoding encoding);
// The encoding's name as the user knows it.
QString encodingName(TextEncoding encoding);

// The encoding of the bytes from the device's position to its end: a UTF-16 byte-order mark
// says UTF-16; valid UTF-8 (byte-order mark or not) is UTF-8; anything else is the 8-bit code
// page. Reads the device to its end and goes back to where it was; nothing, with the device's
// error in error, when reading failed.
std::optional<TextEncoding> detectEncoding(QIODevice& device, QString* error = nullptr);
// True when bytes are UTF-8 throughout, as the UTF-8 decoder accepts it.
bool isValidUtf8(QByteArrayView bytes);

// Text of bytes that hold no byte-order mark; bytes that do not decode become U+FFFD.
QString decodeText(QByteArrayView bytes, TextEncoding encoding);
// The bytes of a whole file holding text, its byte-order mark first; nothing when the encoding
// cannot hold a character of text.
std::optional<QByteArray> encodeFile(QStringView text, TextEncoding encoding);
