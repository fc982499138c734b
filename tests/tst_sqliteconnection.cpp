// The SQLite word database: statement translation, results of their own, locks and untrusted schemas.
#include "store/sqliteconnection.h"
#include "tests/testfiles.h"
#include "tools/wordsfile.h"

#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>
#include <thread>

class TestSqliteConnection : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_path = m_dir.filePath(QString(QTest::currentTestFunction()) + ".mdb");
        QFile::remove(m_path);
        QVERIFY(createWordsDatabase(
            m_path, {{"hello", std::nullopt}, {"Help", "1"}, {"helmet", ""}, {"world", std::nullopt}}));
    }

    void topInsideAWordStays() {
        const QString insert = "insert into words (Text1, Type1) values ('select top 5 x','1')";
        QCOMPARE(SqliteConnection::toSqlite(insert), insert);
    }

    void failuresCarryTheEngineText() {
        SqliteConnection connection(m_path);
        QVERIFY(connection.open());
        QVERIFY(!connection.execute("select  top abc Text1 from words where Text1  like 'a%' "));
        QVERIFY(connection.lastError().contains("syntax error"));
        QVERIFY(!connection.execute("delete from words; drop table words"));
        QCOMPARE(column(connection, "select Text1 from Words order by 1 ").size(), 4);
    }

    // A shared word list's views and triggers may neither rewrite the schema nor run unsafe functions.
    void sharedSchemaIsNotTrusted() {
        SqliteConnection connection(m_path);
        QVERIFY(connection.open());
        const std::unique_ptr<DbResult> trusted = connection.execute("pragma trusted_schema");
        QVERIFY(trusted);
        QCOMPARE(trusted->text1(), QString("0"));
        QVERIFY(connection.execute("pragma writable_schema = on"));
        QVERIFY(!connection.execute("update sqlite_master set sql = sql"));
        QVERIFY2(connection.lastError().contains("may not be modified"), qPrintable(connection.lastError()));
    }

    // What a nested key event or click runs while rows are being read leaves them alone; bound
    // statements are kept for reuse but never shared between results.
    void nestedStatementsLeaveAResultAlone() {
        SqliteConnection connection(m_path);
        QVERIFY(connection.open());
        std::unique_ptr<DbResult> all = connection.execute("select Text1 from Words order by 1 ");
        QVERIFY(all && !all->eof());
        QCOMPARE(*all->text1(), "hello");
        const QString from = "select Text1 from Words where Text1 >= ?1 order by 1 ";
        std::unique_ptr<DbResult> outer = connection.executeBound(from, {"helm"});
        QVERIFY(outer && !outer->eof());
        QCOMPARE(*outer->text1(), "helmet");
        // The same text again while the first is being read.
        for (int i = 0; i < 2; ++i) {
            std::unique_ptr<DbResult> inner = connection.executeBound(from, {"w"});
            QVERIFY(inner && !inner->eof());
            QCOMPARE(*inner->text1(), "world");
        }
        QCOMPARE(column(connection, "select  top 1 Text1 from words where Text1  like 'w%' "),
                 QStringList({"world"}));
        QVERIFY(connection.execute("insert into words (Text1, Type1) values ('zebra','1')"));
        QStringList rest;
        for (; !all->eof(); all->moveNext())
            rest.append(*all->text1());
        QCOMPARE(rest.mid(0, 4), QStringList({"hello", "helmet", "Help", "world"}));
        QVERIFY(outer->moveNext());
        QCOMPARE(*outer->text1(), "Help");
        QVERIFY(!connection.executeBound("select nothing from Words where ?1", {"x"}));
        QVERIFY(connection.executeBound("update Words set Type1 = ?2 where Text1 = ?1", {"WORLD", "1"}));
        QCOMPARE(column(connection, "select Text1 from Words where Type1  = '1'  order by 1 "),
                 QStringList({"Help", "world", "zebra"}));
        // A result outlives the connection's close; the statements it kept go with the connection.
        connection.close();
        QVERIFY(outer->moveNext());
        QCOMPARE(*outer->text1(), "world");
        outer.reset();
        QVERIFY(connection.open());
        QCOMPARE(connection.executeBound(from, {"zz"})->eof(), true);
    }

    void anotherProgramsLock() {
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(m_path.toUtf8().constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        SqliteConnection connection(m_path);
        QVERIFY(connection.open());
        // An edit waits a little: a lock let go meanwhile costs it nothing. A lookup gets no rows at
        // once instead, which is the desktop scenarios' locked-database row.
        std::thread release([other] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        });
        const bool added =
            connection.execute("insert into words (Text1, Type1) values ('zebra','1')") != nullptr;
        release.join();
        sqlite3_close(other);
        QVERIFY2(added, qPrintable(connection.lastError()));
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestSqliteConnection)
#include "tst_sqliteconnection.moc"
