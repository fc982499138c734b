// Windows-1252 by table: the converters of Qt 6.4 know no Windows code page.
#include "codepage.h"

#ifdef Q_OS_WIN
#include "platform/win32/win32codepage.h"
#endif

#include <array>

namespace {
// Bytes 0x80 to 0x9F; the unassigned 0x81, 0x8D, 0x8F, 0x90 and 0x9D keep their own value.
constexpr std::array<char16_t, 32> high1252{0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decode1252(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        *out++ = QChar(value >= 0x80 && value < 0xA0 ? high1252[value - 0x80] : char16_t(value));
    }
    return text;
}

std::optional<QByteArray> encode1252(QStringView text) {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    for (const QChar c : text) {
        const char16_t value = c.unicode();
        if (value < 0x80 || (value >= 0xA0 && value < 0x100)) {
            *out++ = char(value);
            continue;
        }
        std::size_t index = 0;
        while (index < high1252.size() && high1252[index] != value)
            ++index;
        if (index == high1252.size())
            return std::nullopt;
        *out++ = char(0x80 + index);
    }
    return bytes;
}
} // namespace

CodePage windows1252() {
    return {QStringLiteral("Windows-1252"), decode1252, encode1252};
}

CodePage eightBitWordListCodePage() {
#ifdef Q_OS_WIN
    // Windows-1252 by its own table when that is the page, or when the page is UTF-8, which 8-bit
    // files are not.
    const unsigned page = win32AnsiCodePageNumber();
    if (page == 1252 || page == 65001)
        return windows1252();
    return {QStringLiteral("Windows-%1").arg(page), win32DecodeAnsi, win32EncodeAnsi};
#else
    return windows1252();
#endif
}
