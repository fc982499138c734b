// The system's ANSI code page through MultiByteToWideChar and WideCharToMultiByte.
#include "win32codepage.h"

#include <windows.h>

unsigned win32AnsiCodePageNumber() {
    return GetACP();
}

QString win32DecodeAnsi(QByteArrayView bytes) {
    if (bytes.isEmpty())
        return QString();
    // Bytes a page leaves unassigned decode to a character of their own all the same, which
    // encodes back to the byte: a file is written back as it was read.
    const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), reinterpret_cast<wchar_t*>(text.data()),
                        size);
    return text;
}

std::optional<QByteArray> win32EncodeAnsi(QStringView text) {
    if (text.isEmpty())
        return QByteArray();
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    // No look-alike letters: a word the page cannot hold is saved in UTF-8 instead.
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, int(text.size()), nullptr, 0,
                                         nullptr, &usedDefault);
    if (size <= 0 || usedDefault)
        return std::nullopt;
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, int(text.size()), bytes.data(), size, nullptr,
                        &usedDefault);
    if (usedDefault)
        return std::nullopt;
    return bytes;
}
