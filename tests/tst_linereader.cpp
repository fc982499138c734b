// The line reader against a reference that splits the same bytes at once, block boundaries and
// encodings included, and the encoding a file is found to be in.
#include "store/linereader.h"
#include "store/textencoding.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

namespace {
struct Lines {
    QStringList lines;
    QList<qint64> tooLong;
    bool operator==(const Lines&) const = default;
};

char* toString(const Lines& lines) {
    QStringList numbers;
    for (const qint64 number : lines.tooLong)
        numbers.append(QString::number(number));
    return qstrdup(
        qPrintable(QStringLiteral("[%1] too long: %2")
                       .arg(lines.lines.join(QStringLiteral("|")).toHtmlEscaped(), numbers.join(','))));
}

// Splits the whole text at once, unit by unit, then decodes each line on its own.
Lines reference(const QByteArray& text, TextEncoding encoding, qsizetype maxLineBytes) {
    const int unit = codeUnitSize(encoding);
    const auto unitAt = [&](qsizetype i) {
        if (unit == 1)
            return int(static_cast<unsigned char>(text[i]));
        const int a = static_cast<unsigned char>(text[i]), b = static_cast<unsigned char>(text[i + 1]);
        return encoding == TextEncoding::Utf16LE ? a | b << 8 : a << 8 | b;
    };
    Lines result;
    QByteArray line;
    bool started = false;
    qint64 number = 0;
    const auto end = [&] {
        ++number;
        if (line.size() > maxLineBytes)
            result.tooLong.append(number);
        else
            result.lines.append(decodeText(line, encoding));
        line.clear();
        started = false;
    };
    qsizetype i = 0;
    for (; i + unit <= text.size(); i += unit) {
        const int value = unitAt(i);
        if (value == '\r' || value == '\n') {
            end();
            if (value == '\r' && i + 2 * unit <= text.size() && unitAt(i + unit) == '\n')
                i += unit;
        } else {
            line.append(text.mid(i, unit));
            started = true;
        }
    }
    if (i < text.size()) {
        line.append(text.mid(i));
        started = true;
    }
    if (started)
        end();
    return result;
}

Lines read(const QByteArray& file, TextEncoding encoding, qsizetype maxLineBytes, qsizetype blockSize) {
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer, encoding, maxLineBytes, blockSize);
    Lines result;
    QString line;
    while (reader.readLine(line))
        result.lines.append(line);
    result.tooLong = reader.tooLongLines();
    return result;
}

QByteArray bom(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8WithBom:
        return "\xEF\xBB\xBF";
    case TextEncoding::Utf16LE:
        return "\xFF\xFE";
    case TextEncoding::Utf16BE:
        return "\xFE\xFF";
    default:
        return {};
    }
}
} // namespace

class TestLineReader : public QObject {
    Q_OBJECT
private slots:
    void randomBytesSplitAsTheReferenceSplitsThem() {
        // Seeded, and bounded in time so that CI stays short; QUENLO_FUZZ_SECONDS runs it longer.
        const int seconds = qEnvironmentVariableIsSet("QUENLO_FUZZ_SECONDS")
                                ? qEnvironmentVariableIntValue("QUENLO_FUZZ_SECONDS")
                                : 2;
        const QByteArray alphabet("ab\r\n\r\n\xC3\x84\xE2\x82\xAC\xFF\x80\x00", 15);
        const TextEncoding encodings[] = {TextEncoding::Utf8, TextEncoding::Utf8WithBom,
                                          TextEncoding::EightBit, TextEncoding::Utf16LE,
                                          TextEncoding::Utf16BE};
        QRandomGenerator random(20261207);
        QElapsedTimer timer;
        timer.start();
        int cases = 0;
        while (timer.elapsed() < seconds * 1000 || cases < 200) {
            QByteArray text;
            for (int i = int(random.bounded(200)); i > 0; --i)
                text.append(alphabet[random.bounded(alphabet.size())]);
            const TextEncoding encoding = encodings[random.bounded(5)];
            const qsizetype maxLineBytes = 1 + random.bounded(40);
            const qsizetype blockSize = 1 + random.bounded(70);
            const Lines got = read(bom(encoding) + text, encoding, maxLineBytes, blockSize);
            const Lines expected = reference(text, encoding, maxLineBytes);
            if (got != expected)
                QFAIL(qPrintable(
                    QStringLiteral("case %1: encoding %2, max %3, block %4, bytes %5: %6 instead of %7")
                        .arg(cases)
                        .arg(int(encoding))
                        .arg(maxLineBytes)
                        .arg(blockSize)
                        .arg(QString::fromLatin1(text.toHex()), toString(got), toString(expected))));
            ++cases;
        }
    }

    void encodingFound_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("encoding");
        const QByteArray block(64 * 1024 - 1, 'a');
        QTest::newRow("empty") << QByteArray() << TextEncoding::Utf8;
        QTest::newRow("UTF-8") << QByteArray("caf\xC3\xA9\r\n") << TextEncoding::Utf8;
        QTest::newRow("UTF-8 across a block") << block + "\xE2\x82\xAC" << TextEncoding::Utf8;
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF\xC3\xA9") << TextEncoding::Utf8WithBom;
        QTest::newRow("BOM, then 1252") << QByteArray("\xEF\xBB\xBF\xE9") << TextEncoding::EightBit;
        QTest::newRow("1252") << QByteArray("caf\xE9\r\n") << TextEncoding::EightBit;
        QTest::newRow("cut off at the end") << QByteArray("ab\xE2\x82") << TextEncoding::EightBit;
        QTest::newRow("overlong") << QByteArray("\xC0\x80") << TextEncoding::EightBit;
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << TextEncoding::EightBit;
        QTest::newRow("1252 after a block") << block + "x\xE9" << TextEncoding::EightBit;
        QTest::newRow("UTF-16LE") << QByteArray("\xFF\xFEw\0", 4) << TextEncoding::Utf16LE;
        QTest::newRow("UTF-16BE") << QByteArray("\xFE\xFF\0w", 4) << TextEncoding::Utf16BE;
    }
    void encodingFound() {
        QFETCH(QByteArray, bytes);
        QFETCH(TextEncoding, encoding);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QCOMPARE(detectEncoding(buffer), encoding);
        QCOMPARE(buffer.pos(), 0); // reading starts over from where it was
    }
};

QTEST_GUILESS_MAIN(TestLineReader)
#include "tst_linereader.moc"
