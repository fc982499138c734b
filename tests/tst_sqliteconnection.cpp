// The SQLite word database: statement translation, results of their own, the prefix index.
#include "platform/sqliteconnection.h"
#include "platform/wordsfile.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>
#include <thread>

class TestSqliteConnection : public QObject {
    Q_OBJECT
private slots:
    void init();
    void toSqlite_data();
    void toSqlite();
    void openNeverCreatesTheFile();
    void closedConnectionRefusesStatementsAndReopens();
    void readsRowsAndNulls();
    void editsAreSeenByASecondConnectionAtOnce();
    void nestedStatementsLeaveAResultAlone();
    void failuresCarryTheEngineText();
    void anotherProgramsLock();
    void prefixLookupIsAnIndexRangeScan_data();
    void prefixLookupIsAnIndexRangeScan();

private:
    QStringList readAll(DbConnection& connection, const QString& statement);
    QTemporaryDir m_dir;
    QString m_path;
};

void TestSqliteConnection::init() {
    m_path = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QStringLiteral(".mdb"));
    QFile::remove(m_path);
    QVERIFY(createWordsDatabase(
        m_path, {{"hello", std::nullopt}, {"Help", "1"}, {"helmet", ""}, {"world", std::nullopt}}));
}

QStringList TestSqliteConnection::readAll(DbConnection& connection, const QString& statement) {
    QStringList words;
    std::unique_ptr<DbResult> result = connection.execute(statement);
    if (!result)
        return {QStringLiteral("<failed: %1>").arg(connection.lastError())};
    for (; !result->eof(); result->moveNext())
        words.append(result->text1().value_or(QStringLiteral("<null>")));
    return words;
}

void TestSqliteConnection::toSqlite_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("translated");
    QTest::newRow("top") << "select  top 15 Text1 from words where Text1  like 'hel%' "
                         << "select Text1 from words where Text1  like 'hel%'  limit 15";
    QTest::newRow("top with filters")
        << "select  top 3 Text1 from words where Text1  like 'a%'  and Type1 is not null "
        << "select Text1 from words where Text1  like 'a%'  and Type1 is not null  limit 3";
    QTest::newRow("no top") << "select Text1 from Words order by 1 "
                            << "select Text1 from Words order by 1 ";
    QTest::newRow("top inside a word stays")
        << "insert into words (Text1, Type1) values ('select top 5 x','1')"
        << "insert into words (Text1, Type1) values ('select top 5 x','1')";
}

void TestSqliteConnection::toSqlite() {
    QFETCH(QString, statement);
    QFETCH(QString, translated);
    QCOMPARE(SqliteConnection::toSqlite(statement), translated);
}

void TestSqliteConnection::openNeverCreatesTheFile() {
    const QString missing = m_dir.filePath(QStringLiteral("missing.mdb"));
    SqliteConnection connection(missing);
    QVERIFY(!connection.open());
    QCOMPARE(connection.state(), 0);
    QVERIFY(connection.lastError().contains(QStringLiteral("missing.mdb")));
    QVERIFY(!QFileInfo::exists(missing));
}

void TestSqliteConnection::closedConnectionRefusesStatementsAndReopens() {
    SqliteConnection connection(m_path);
    QVERIFY(!connection.execute(QStringLiteral("select Text1 from Words order by 1 ")));
    QVERIFY(!connection.lastError().isEmpty());
    QVERIFY(connection.open());
    QCOMPARE(connection.state(), 1);
    connection.close();
    QCOMPARE(connection.state(), 0);
    QVERIFY(connection.open());
    QCOMPARE(readAll(connection, QStringLiteral("select Text1 from Words order by 1 ")).size(), 4);
}

void TestSqliteConnection::readsRowsAndNulls() {
    SqliteConnection connection(m_path);
    QVERIFY(connection.open());
    QVERIFY(connection.execute(QStringLiteral("insert into words (Text1, Type1) values (NULL,'1')")));
    QCOMPARE(readAll(connection, QStringLiteral("select Text1 from Words order by 1 ")),
             QStringList({"<null>", "hello", "helmet", "Help", "world"}));
    QCOMPARE(readAll(connection, QStringLiteral("select  top 2 Text1 from words where Text1  like 'HEL%' "))
                 .size(),
             2);
    std::unique_ptr<DbResult> empty =
        connection.execute(QStringLiteral("select Text1 from Words where Text1 = 'x'"));
    QVERIFY(empty && empty->eof());
}

void TestSqliteConnection::editsAreSeenByASecondConnectionAtOnce() {
    SqliteConnection writer(m_path);
    SqliteConnection reader(m_path);
    QVERIFY(writer.open() && reader.open());
    QVERIFY(writer.execute(QStringLiteral("insert into words (Text1, Type1) values ('it''s','1')")));
    QCOMPARE(readAll(reader, QStringLiteral("select Text1 from Words where Type1  = '1'  order by 1 ")),
             QStringList({"Help", "it's"}));
    QVERIFY(writer.execute(QStringLiteral("delete from words  where text1  = 'HELP'")));
    QCOMPARE(readAll(reader, QStringLiteral("select Text1 from Words where Type1  = '1'  order by 1 ")),
             QStringList({"it's"}));
}

void TestSqliteConnection::nestedStatementsLeaveAResultAlone() {
    SqliteConnection connection(m_path);
    QVERIFY(connection.open());
    std::unique_ptr<DbResult> outer =
        connection.execute(QStringLiteral("select Text1 from Words order by 1 "));
    QVERIFY(outer && !outer->eof());
    QCOMPARE(*outer->text1(), QStringLiteral("hello"));
    // What a nested key event or click would run while the outer rows are being read.
    QCOMPARE(readAll(connection, QStringLiteral("select  top 1 Text1 from words where Text1  like 'w%' ")),
             QStringList({"world"}));
    QVERIFY(connection.execute(QStringLiteral("insert into words (Text1, Type1) values ('zebra','1')")));
    QStringList rest;
    for (; !outer->eof(); outer->moveNext())
        rest.append(*outer->text1());
    QCOMPARE(rest.mid(0, 4), QStringList({"hello", "helmet", "Help", "world"}));
    connection.close();
}

void TestSqliteConnection::failuresCarryTheEngineText() {
    SqliteConnection connection(m_path);
    QVERIFY(connection.open());
    QVERIFY(!connection.execute(QStringLiteral("select  top abc Text1 from words where Text1  like 'a%' ")));
    QVERIFY(connection.lastError().contains(QStringLiteral("syntax error")));
    QVERIFY(!connection.execute(QStringLiteral("delete from words; drop table words")));
    QCOMPARE(readAll(connection, QStringLiteral("select Text1 from Words order by 1 ")).size(), 4);
}

void TestSqliteConnection::anotherProgramsLock() {
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open(m_path.toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    SqliteConnection connection(m_path);
    QVERIFY(connection.open());

    // A read runs on every key: a locked database gives it no rows and costs it no wait (a wait would
    // be the edits' full second).
    QElapsedTimer read;
    read.start();
    QVERIFY(!connection.execute(QStringLiteral("select  top 15 Text1 from words where Text1  like 'hel%' ")));
    QVERIFY(read.elapsed() < 900);
    QCOMPARE(connection.lastError(), QStringLiteral("database is locked"));

    // An edit waits a little: a lock let go meanwhile costs it nothing.
    std::thread release([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    const bool added =
        connection.execute(QStringLiteral("insert into words (Text1, Type1) values ('zebra','1')")) !=
        nullptr;
    release.join();
    sqlite3_close(other);
    QVERIFY2(added, qPrintable(connection.lastError()));
}

void TestSqliteConnection::prefixLookupIsAnIndexRangeScan_data() {
    QTest::addColumn<QString>("statement");
    QTest::newRow("plain prefix") << "select  top 15 Text1 from words where Text1  like 'hel%' ";
    QTest::newRow("escaped wildcard")
        << "select  top 15 Text1 from words where Text1  like 'a\\_b%' escape '\\'  and Type1 is not null ";
}

void TestSqliteConnection::prefixLookupIsAnIndexRangeScan() {
    QFETCH(QString, statement);
    sqlite3* database = nullptr;
    QCOMPARE(sqlite3_open_v2(m_path.toUtf8().constData(), &database, SQLITE_OPEN_READONLY, nullptr),
             SQLITE_OK);
    const QByteArray plan = "EXPLAIN QUERY PLAN " + SqliteConnection::toSqlite(statement).toUtf8();
    sqlite3_stmt* explain = nullptr;
    QCOMPARE(sqlite3_prepare_v2(database, plan.constData(), -1, &explain, nullptr), SQLITE_OK);
    QString details;
    while (sqlite3_step(explain) == SQLITE_ROW)
        details += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(explain, 3))) + '\n';
    sqlite3_finalize(explain);
    sqlite3_close(database);
    static const QRegularExpression rangeScan(
        QStringLiteral("SEARCH words USING (COVERING )?INDEX WordsByText1 "
                       "\\(Text1>\\? AND Text1<\\?\\)"));
    QVERIFY2(details.contains(rangeScan), qPrintable(details));
}

QTEST_GUILESS_MAIN(TestSqliteConnection)
#include "tst_sqliteconnection.moc"
