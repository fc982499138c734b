// Splitting a word-list file into lines on its bytes, whatever the platform's line end was.
#include "linereader.h"

#include <QIODevice>
#include <algorithm>

namespace {
constexpr char16_t cr = u'\r';
constexpr char16_t lf = u'\n';
} // namespace

LineReader::LineReader(QIODevice& device, TextEncoding encoding, qsizetype maxLineBytes, qsizetype blockSize)
    : m_device(device)
    , m_encoding(encoding)
    , m_eightBitPage(eightBitWordListCodePage())
    , m_unit(codeUnitSize(encoding))
    , m_maxLineBytes(maxLineBytes)
    , m_blockSize(std::max<qsizetype>(blockSize, 1))
    , m_bomLeft(byteOrderMarkSize(encoding)) {}

char16_t LineReader::unitAt(qsizetype position) const {
    const auto byte = [this](qsizetype i) {
        return char16_t(static_cast<unsigned char>(m_block[i]));
    };
    if (m_unit == 1)
        return byte(position);
    return m_encoding == TextEncoding::Utf16LE ? char16_t(byte(position) | byte(position + 1) << 8)
                                               : char16_t(byte(position) << 8 | byte(position + 1));
}

void LineReader::take(qsizetype from, qsizetype to) {
    if (to > from)
        m_lineStarted = true;
    if (m_lineTooLong)
        return;
    if (m_line.size() + (to - from) > m_maxLineBytes) {
        m_lineTooLong = true;
        m_line.clear();
        return;
    }
    m_line.append(m_block.constData() + from, to - from);
}

bool LineReader::endLine(QString& line) {
    ++m_lineNumber;
    const bool tooLong = m_lineTooLong;
    if (tooLong)
        m_tooLongLines.append(m_lineNumber);
    else
        line = m_encoding == TextEncoding::EightBit ? m_eightBitPage.decode(m_line)
                                                    : decodeText(m_line, m_encoding);
    m_line.clear();
    m_lineStarted = false;
    m_lineTooLong = false;
    return !tooLong;
}

bool LineReader::readLine(QString& line) {
    for (;;) {
        const qsizetype whole = m_block.size() - (m_block.size() - m_position) % m_unit;
        qsizetype end = m_position;
        if (m_afterCr && end < whole) {
            m_afterCr = false;
            if (unitAt(end) == lf)
                m_position = end += m_unit;
        }
        if (m_unit == 1) {
            const char* data = m_block.constData();
            end =
                std::find_if(data + end, data + whole, [](char c) { return c == '\r' || c == '\n'; }) - data;
        } else {
            while (end < whole && unitAt(end) != cr && unitAt(end) != lf)
                end += m_unit;
        }
        if (end < whole) {
            take(m_position, end);
            m_afterCr = unitAt(end) == cr;
            m_position = end + m_unit;
            m_lineStarted = true;
            if (endLine(line))
                return true;
            continue;
        }
        take(m_position, whole);
        m_position = whole;
        if (m_atEnd) {
            // An odd byte left at the end of UTF-16 text still belongs to the last line.
            take(m_position, m_block.size());
            m_position = m_block.size();
            if (!m_lineStarted)
                return false;
            if (endLine(line))
                return true;
            continue;
        }
        if (!readBlock())
            return false;
    }
}

bool LineReader::readBlock() {
    m_block.remove(0, m_position);
    m_position = 0;
    const qsizetype kept = m_block.size();
    m_block.resize(kept + m_blockSize);
    const qint64 read = m_device.read(m_block.data() + kept, m_blockSize);
    if (read < 0) {
        m_block.resize(kept);
        m_failed = true;
        m_error = m_device.errorString();
        return false;
    }
    m_block.resize(kept + read);
    if (read == 0)
        m_atEnd = true;
    // The byte-order mark is no part of the first line.
    const qsizetype skipped = std::min(m_bomLeft, m_block.size());
    m_block.remove(0, skipped);
    m_bomLeft -= skipped;
    return true;
}
