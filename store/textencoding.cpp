// Telling UTF-8, UTF-16 and 8-bit word lists apart, so that each is written back as it came.
#include "textencoding.h"

#include "store/codepage.h"

#include <QIODevice>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {
const QByteArray utf8Bom("\xEF\xBB\xBF");
const QByteArray utf16LEBom("\xFF\xFE");
const QByteArray utf16BEBom("\xFE\xFF");

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the valid sequence starting at bytes[0]; 0 when it is invalid, -1 when it is
// valid so far but cut off by the end of bytes.
qsizetype sequenceLength(const unsigned char* bytes, qsizetype available) {
    const unsigned char lead = bytes[0];
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        secondLow = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        secondHigh = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        secondLow = lead == 0xF0 ? 0x90 : 0x80;
        secondHigh = lead == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
    } else {
        return 0;
    }
    for (qsizetype i = 1; i < length; ++i) {
        if (i >= available)
            return -1;
        const unsigned char byte = bytes[i];
        if (i == 1 ? (byte < secondLow || byte > secondHigh) : !isContinuation(byte))
            return 0;
    }
    return length;
}

// How many bytes of the start of bytes are whole valid sequences; -1 when an invalid one comes
// first. What is left over is a sequence cut off by the end.
qsizetype validPrefix(QByteArrayView bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (data[i] < 0x80) {
            ++i;
            continue;
        }
        const qsizetype length = sequenceLength(data + i, bytes.size() - i);
        if (length == 0)
            return -1;
        if (length < 0)
            break;
        i += length;
    }
    return i;
}

QStringDecoder decoder(QStringConverter::Encoding encoding) {
    // Each piece on its own, and a leading U+FEFF kept: it is a character of the line here.
    return QStringDecoder(encoding,
                          QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
}
} // namespace

int codeUnitSize(TextEncoding encoding) {
    return encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE ? 2 : 1;
}

int byteOrderMarkSize(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8WithBom:
        return 3;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
        return 2;
    case TextEncoding::Utf8:
    case TextEncoding::EightBit:
        break;
    }
    return 0;
}

QString encodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf8WithBom:
        return QStringLiteral("UTF-8 with byte-order mark");
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
        return QStringLiteral("UTF-16");
    case TextEncoding::EightBit:
        break;
    }
    return eightBitWordListCodePage().name;
}

bool isValidUtf8(QByteArrayView bytes) {
    return validPrefix(bytes) == bytes.size();
}

std::optional<TextEncoding> detectEncoding(QIODevice& device, QString* error) {
    const qint64 start = device.pos();
    QByteArray pending; // a sequence cut off by the end of the last block
    QByteArray block(64 * 1024, Qt::Uninitialized);
    bool first = true;
    bool valid = true;
    std::optional<TextEncoding> found;
    for (;;) {
        const qint64 read = device.read(block.data(), block.size());
        if (read < 0) {
            if (error)
                *error = device.errorString();
            return std::nullopt;
        }
        if (read == 0)
            break;
        pending.append(block.constData(), read);
        if (first && pending.size() < 3 && !device.atEnd())
            continue;
        if (first) {
            first = false;
            if (pending.startsWith(utf16LEBom) || pending.startsWith(utf16BEBom)) {
                found = pending.startsWith(utf16LEBom) ? TextEncoding::Utf16LE : TextEncoding::Utf16BE;
                break;
            }
        }
        const qsizetype prefix = validPrefix(pending);
        if (prefix < 0) {
            valid = false;
            break;
        }
        pending.remove(0, prefix);
    }
    if (!found) {
        if (first && (pending.startsWith(utf16LEBom) || pending.startsWith(utf16BEBom)))
            found = pending.startsWith(utf16LEBom) ? TextEncoding::Utf16LE : TextEncoding::Utf16BE;
        else if (valid && validPrefix(pending) == pending.size())
            found = TextEncoding::Utf8;
        else
            found = TextEncoding::EightBit;
    }
    if (*found == TextEncoding::Utf8 && device.seek(start)) {
        const QByteArray head = device.peek(3);
        if (head == utf8Bom)
            found = TextEncoding::Utf8WithBom;
    }
    if (!device.seek(start)) {
        if (error)
            *error = device.errorString();
        return std::nullopt;
    }
    return found;
}

QString decodeText(QByteArrayView bytes, TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
    case TextEncoding::Utf8WithBom:
        return decoder(QStringConverter::Utf8).decode(bytes);
    case TextEncoding::Utf16LE:
        return decoder(QStringConverter::Utf16LE).decode(bytes);
    case TextEncoding::Utf16BE:
        return decoder(QStringConverter::Utf16BE).decode(bytes);
    case TextEncoding::EightBit:
        break;
    }
    return eightBitWordListCodePage().decode(bytes);
}

std::optional<QByteArray> encodeFile(QStringView text, TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringEncoder(QStringConverter::Utf8).encode(text);
    case TextEncoding::Utf8WithBom:
        return utf8Bom + QByteArray(QStringEncoder(QStringConverter::Utf8).encode(text));
    case TextEncoding::Utf16LE:
        return utf16LEBom + QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(text));
    case TextEncoding::Utf16BE:
        return utf16BEBom + QByteArray(QStringEncoder(QStringConverter::Utf16BE).encode(text));
    case TextEncoding::EightBit:
        break;
    }
    return eightBitWordListCodePage().encode(text);
}
