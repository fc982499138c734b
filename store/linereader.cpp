// Splitting a word-list file into lines, whatever the platform's line end was.
#include "linereader.h"

#include <QIODevice>
#include <algorithm>

namespace {
constexpr qint64 blockSize = 64 * 1024;
} // namespace

LineReader::LineReader(QIODevice& device)
    : m_device(device)
    , m_decoder(QStringConverter::System) {}

bool LineReader::readLine(QString& line) {
    for (;;) {
        qsizetype end = std::max(m_position, m_scanned);
        while (end < m_buffer.size() && m_buffer[end] != QLatin1Char('\r') &&
               m_buffer[end] != QLatin1Char('\n'))
            ++end;
        // A CR at the end of the block may be the first half of a CR LF: read on before deciding.
        const bool complete = end < m_buffer.size() &&
                              (m_buffer[end] == QLatin1Char('\n') || end + 1 < m_buffer.size() || m_atEnd);
        if (complete) {
            line = m_buffer.mid(m_position, end - m_position);
            m_position = end + 1;
            if (m_buffer[end] == QLatin1Char('\r') && m_position < m_buffer.size() &&
                m_buffer[m_position] == QLatin1Char('\n'))
                ++m_position;
            return true;
        }
        if (m_atEnd) {
            if (m_position >= m_buffer.size())
                return false;
            line = m_buffer.mid(m_position);
            m_position = m_buffer.size();
            return true;
        }
        m_scanned = end;
        if (!readBlock())
            return false;
    }
}

bool LineReader::readBlock() {
    m_buffer.remove(0, m_position);
    m_scanned -= m_position;
    m_position = 0;
    QByteArray block(blockSize, Qt::Uninitialized);
    const qint64 read = m_device.read(block.data(), blockSize);
    if (read < 0) {
        m_failed = true;
        m_error = m_device.errorString();
        return false;
    }
    if (read == 0)
        m_atEnd = true;
    else
        m_buffer += m_decoder.decode(QByteArrayView(block.constData(), read));
    return true;
}
