// Reading a word-list file line by line, in the encoding it was found to be in.
#pragma once

#include "store/codepage.h"
#include "store/textencoding.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

// The lines of a text device, read a block at a time: a line ends with CR LF, a lone CR or a lone
// LF, and a last line without an end is a line too. Lines are split on the bytes before they are
// decoded, so a byte that does not decode spoils its own line only. A line longer than
// maxLineBytes is skipped and its number kept, so that memory stays bounded whatever the file.
class LineReader {
public:
    static constexpr qsizetype defaultMaxLineBytes = 4096;

    // Reads from the device's position, which is where the text starts (its byte-order mark, if
    // the encoding has one, is skipped).
    explicit LineReader(QIODevice& device, TextEncoding encoding,
                        qsizetype maxLineBytes = defaultMaxLineBytes, qsizetype blockSize = 64 * 1024);

    // The page 8-bit text is decoded in; the word-list code page unless set.
    void setEightBitCodePage(const CodePage& page) { m_eightBitPage = page; }
    // The next line without its end. False at the end of the text, or when reading failed.
    bool readLine(QString& line);
    // The number of the line last returned, counting from 1.
    qint64 lineNumber() const { return m_lineNumber; }
    // The numbers of the lines skipped so far for being too long.
    const QList<qint64>& tooLongLines() const { return m_tooLongLines; }
    qsizetype maxLineBytes() const { return m_maxLineBytes; }
    // True when the device refused to read; errorString() then says why.
    bool failed() const { return m_failed; }
    QString errorString() const { return m_error; }

private:
    bool readBlock();
    char16_t unitAt(qsizetype position) const;
    void take(qsizetype from, qsizetype to);
    // Ends the line being gathered; false when it was too long and skipped.
    bool endLine(QString& line);

    QIODevice& m_device;
    TextEncoding m_encoding;
    CodePage m_eightBitPage;
    int m_unit;
    qsizetype m_maxLineBytes;
    qsizetype m_blockSize;
    qsizetype m_bomLeft;
    QByteArray m_block;
    qsizetype m_position = 0;
    QByteArray m_line;
    bool m_lineStarted = false;
    bool m_lineTooLong = false;
    // The last line ended with a CR: an LF right after it belongs to that end.
    bool m_afterCr = false;
    bool m_atEnd = false;
    bool m_failed = false;
    qint64 m_lineNumber = 0;
    QList<qint64> m_tooLongLines;
    QString m_error;
};
