// The suggestion query: its exact text, the word count check and the escaping of the prefix.
#include "engine/suggestionquery.h"
#include "platform/sqliteconnection.h"
#include "platform/wordsfile.h"

#include <QTemporaryDir>
#include <QtTest>

class TestSuggestionQuery : public QObject {
    Q_OBJECT
private slots:
    void queryText_data();
    void queryText();
    void countThatIsNoWholeNumber_data();
    void countThatIsNoWholeNumber();
    void patternMatchesOnSqlite_data();
    void patternMatchesOnSqlite();
};

void TestSuggestionQuery::queryText_data() {
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<bool>("useDefault");
    QTest::addColumn<bool>("useCustom");
    QTest::addColumn<QString>("expected");

    QTest::newRow("both kinds") << "15"
                                << "hel" << true << true
                                << "select  top 15 Text1 from words where Text1  like 'hel%' ";
    QTest::newRow("no default words")
        << "15"
        << "hel" << false << true
        << "select  top 15 Text1 from words where Text1  like 'hel%'  and Type1 is not null ";
    QTest::newRow("no custom words")
        << "15"
        << "hel" << true << false
        << "select  top 15 Text1 from words where Text1  like 'hel%'  and (Type1 is null or Type1 <> '1') ";
    QTest::newRow("neither kind") << "15"
                                  << "hel" << false << false
                                  << "select  top 15 Text1 from words where Text1  like 'hel%'  and Type1 is "
                                     "not null  and (Type1 is null or Type1 <> '1') ";
    QTest::newRow("count with blanks")
        << " 3\t"
        << "ab" << true << true << "select  top 3 Text1 from words where Text1  like 'ab%' ";
    QTest::newRow("count zero") << "0"
                                << "ab" << true << true
                                << "select  top 0 Text1 from words where Text1  like 'ab%' ";
    QTest::newRow("apostrophe doubled")
        << "15"
        << "o'c" << true << true << "select  top 15 Text1 from words where Text1  like 'o''c%' ";
    QTest::newRow("underscore escaped")
        << "15"
        << "a_b" << true << true << "select  top 15 Text1 from words where Text1  like 'a\\_b%' escape '\\' ";
    QTest::newRow("backslash escaped")
        << "15"
        << "a\\" << true << true << "select  top 15 Text1 from words where Text1  like 'a\\\\%' escape '\\' ";
    QTest::newRow("percent escaped")
        << "15"
        << "5%" << true << true << "select  top 15 Text1 from words where Text1  like '5\\%%' escape '\\' ";
    QTest::newRow("escape before the filters")
        << "15"
        << "_" << false << true
        << "select  top 15 Text1 from words where Text1  like '\\_%' escape '\\'  and Type1 is not null ";
    QTest::newRow("signs LIKE takes as they are")
        << "15"
        << "[^]`" << true << true << "select  top 15 Text1 from words where Text1  like '[^]`%' ";
}

void TestSuggestionQuery::queryText() {
    QFETCH(QString, count);
    QFETCH(QString, prefix);
    QFETCH(bool, useDefault);
    QFETCH(bool, useCustom);
    QFETCH(QString, expected);
    const std::optional<QString> query = suggestionQuery(count, prefix, useDefault, useCustom);
    QVERIFY(query);
    QCOMPARE(*query, expected);
}

void TestSuggestionQuery::countThatIsNoWholeNumber_data() {
    QTest::addColumn<QString>("count");
    QTest::newRow("letters") << "abc";
    QTest::newRow("empty") << "";
    QTest::newRow("blanks only") << "   ";
    QTest::newRow("negative") << "-1";
    QTest::newRow("plus sign") << "+3";
    QTest::newRow("fraction") << "1.5";
    QTest::newRow("exponent") << "1e2";
    QTest::newRow("inner blank") << "1 5";
    QTest::newRow("trailing text") << "15; drop table Words";
    QTest::newRow("other script digits") << QString::fromUtf8("\u0661\u0665");
}

void TestSuggestionQuery::countThatIsNoWholeNumber() {
    QFETCH(QString, count);
    QVERIFY(!suggestionCount(count));
    QVERIFY(!suggestionQuery(count, QStringLiteral("hel"), true, true));
}

void TestSuggestionQuery::patternMatchesOnSqlite_data() {
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("letters, any case stored") << "he" << QStringList{"hello", "HELP"};
    QTest::newRow("underscore is no wildcard") << "a_" << QStringList{"a_b"};
    QTest::newRow("backslash") << "a\\" << QStringList{"a\\b"};
    QTest::newRow("percent is no wildcard") << "5%" << QStringList{"5%off"};
    QTest::newRow("apostrophe") << "o'" << QStringList{"o'clock"};
    QTest::newRow("bracket taken as it is") << "[" << QStringList{"[x"};
}

void TestSuggestionQuery::patternMatchesOnSqlite() {
    QFETCH(QString, prefix);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("words.mdb"));
    std::vector<WordRow> rows;
    for (const char* word :
         {"hello", "HELP", "world", "a_b", "axb", "a\\b", "5%off", "50off", "o'clock", "oxclock", "[x", "x"})
        rows.push_back({QString::fromUtf8(word), std::nullopt});
    QString error;
    QVERIFY2(createWordsDatabase(path, rows, &error), qPrintable(error));
    SqliteConnection words(path);
    QVERIFY(words.open());

    const std::optional<QString> query = suggestionQuery(QStringLiteral("15"), prefix, true, true);
    QVERIFY(query);
    std::unique_ptr<DbResult> result = words.execute(*query);
    QVERIFY2(result, qPrintable(words.lastError()));
    QStringList found;
    for (; !result->eof(); result->moveNext())
        found.append(result->text1().value_or(QString()));
    found.sort(Qt::CaseInsensitive);
    QCOMPARE(found, expected);
}

QTEST_GUILESS_MAIN(TestSuggestionQuery)
#include "tst_suggestionquery.moc"
