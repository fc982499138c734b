// The system's ANSI code page, in which Windows programs write 8-bit text files.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// The ANSI code page's number (GetACP()).
unsigned win32AnsiCodePageNumber();
// Text in the ANSI code page, every byte a page leaves unassigned decoding to a character of its own.
QString win32DecodeAnsi(QByteArrayView bytes);
// Nothing when text holds a character the page has no bytes for (no look-alike letters).
std::optional<QByteArray> win32EncodeAnsi(QStringView text);
