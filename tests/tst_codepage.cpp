// The code page of 8-bit word lists: the system's ANSI page on Windows, Windows-1252 elsewhere.
#include "store/codepage.h"

#include <QTest>

class TestCodePage : public QObject {
    Q_OBJECT
    // The page this run expects: a Windows run under another system locale names it.
    const QString m_page = qEnvironmentVariable("QUENLO_TEST_CODE_PAGE", QStringLiteral("1252"));

private slots:
    void decodesAndEncodesInThePage_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("unencodable"); // a letter only a look-alike would stand for
        if (m_page == "1252") {
            QTest::newRow("Western") << QByteArray("caf\xE9 \x80\x85") << QString("café €…") << QString("ω");
            QTest::newRow("unassigned bytes") << QByteArray("\x81\x8D\x8F\x90\x9D")
                                              << QString("\u0081\u008D\u008F\u0090\u009D") << QString("Ā");
        } else if (m_page == "1251") {
            QTest::newRow("Cyrillic") << QByteArray("\xC0\xE1\xE2 \xB8") << QString("Абв ё") << QString("ä");
        } else if (m_page == "932") {
            // Two bytes a letter: a line's bytes still decode on their own, as no trail byte is a line end.
            QTest::newRow("Japanese")
                << QByteArray("\x93\xFA\x96\x7B abc") << QString("日本 abc") << QString("é");
        }
    }
    void decodesAndEncodesInThePage() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(QString, unencodable);
        const CodePage page = eightBitWordListCodePage();
        QCOMPARE(page.name, "Windows-" + m_page);
        QCOMPARE(page.decode(bytes), text);
        QCOMPARE(page.encode(text), std::optional<QByteArray>(bytes));
        QCOMPARE(page.encode(text + unencodable), std::nullopt);
        QCOMPARE(page.decode(QByteArray()), QString());
        QCOMPARE(page.encode(QString()), std::optional<QByteArray>(QByteArray()));
    }

    void everyByteOfAOneBytePageComesBack() {
        if (m_page == "932")
            QSKIP("A page of two-byte letters has lone bytes that are no letter");
        QByteArray every;
        for (int byte = 1; byte <= 0xFF; ++byte)
            every.append(char(byte));
        const CodePage page = eightBitWordListCodePage();
        const QString text = page.decode(every);
        QCOMPARE(text.size(), every.size());
        QCOMPARE(page.encode(text), std::optional<QByteArray>(every));
    }
};

QTEST_GUILESS_MAIN(TestCodePage)
#include "tst_codepage.moc"
