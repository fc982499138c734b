// Reading a word-list file line by line in the system's encoding.
#pragma once

#include <QString>
#include <QStringDecoder>

class QIODevice;

// The lines of a text device, read a block at a time: a line ends with CR LF, a lone CR or a lone
// LF, and a last line without an end is a line too. Bytes that do not decode become U+FFFD and
// the lines after them are read as usual.
class LineReader {
public:
    explicit LineReader(QIODevice& device);

    // The next line without its end. False at the end of the text, or when reading failed.
    bool readLine(QString& line);
    // True when the device refused to read; errorString() then says why.
    bool failed() const { return m_failed; }
    QString errorString() const { return m_error; }

private:
    bool readBlock();

    QIODevice& m_device;
    QStringDecoder m_decoder;
    QString m_buffer;
    qsizetype m_position = 0;
    // Where the search for the next line end goes on, so a long line is not searched twice.
    qsizetype m_scanned = 0;
    bool m_atEnd = false;
    bool m_failed = false;
    QString m_error;
};
