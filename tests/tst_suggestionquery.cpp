// The suggestion query: its exact text, the word count check and the escaping of the prefix.
#include "engine/suggestionquery.h"

#include <QtTest>

class TestSuggestionQuery : public QObject {
    Q_OBJECT
private slots:
    void queryText_data() {
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<bool>("useDefault");
        QTest::addColumn<bool>("useCustom");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* prefix, bool useDefault, bool useCustom,
                            const QString& end, const char* count = "15") {
            const QString top = QStringLiteral("select  top %1 Text1 from words where Text1  like ")
                                    .arg(QString(count).trimmed());
            QTest::newRow(name) << QString(count) << QString(prefix) << useDefault << useCustom << top + end;
        };
        // What each kind of word matches is the engine suite's; here, the text of the rarer prefixes.
        row("count zero with blanks", "ab", true, true, "'ab%' ", " 0\t");
        row("apostrophe doubled, brackets as they are", "o'[^]`", true, true, "'o''[^]`%' ");
        row("backslash, percent escaped", "a\\5%", true, true, "'a\\\\5\\%%' escape '\\' ");
        row("escape before the filters", "_", false, true, "'\\_%' escape '\\'  and Type1 is not null ");
        // A count that is no whole number gives no query at all.
        for (const char* count :
             {"abc", "", "   ", "-1", "+3", "1.5", "1e2", "1 5", "15; drop table Words", "\u0661\u0665"})
            QTest::addRow("count '%s'", count)
                << QString::fromUtf8(count) << "hel" << true << true << QString();
    }
    void queryText() {
        QFETCH(QString, count);
        QFETCH(QString, prefix);
        QFETCH(bool, useDefault);
        QFETCH(bool, useCustom);
        QTEST(suggestionQuery(count, prefix, useDefault, useCustom).value_or(QString()), "expected");
    }
};

QTEST_GUILESS_MAIN(TestSuggestionQuery)
#include "tst_suggestionquery.moc"
