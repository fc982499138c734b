// The build-time maker of words.mdb, and the words.mdb the build ships beside the program.
#include "store/sqliteconnection.h"
#include "store/wordstatements.h"
#include "tests/testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestMakeWordsDb : public QObject {
    Q_OBJECT
private slots:
    void keepsLetterWordsAndReplacesOnlyOnSuccess() {
        const QString output = m_dir.filePath("words.mdb");
        QCOMPARE(make("A\nAaron's\nhello\n\xC3\x85ngstr\xC3\xB6m\nx1\ntwo words\n\nzebra\n", output), 0);
        const QStringList words{"A", "hello", "zebra", "Ångström"};
        QCOMPARE(read(output, allWordsStatement()), words);
        QCOMPARE(read(output, defaultWordsStatement()), words); // so every word is a default word
        QCOMPARE(make("two", output), 0);
        QCOMPARE(read(output, allWordsStatement()), QStringList{"two"});
        QVERIFY(make(QByteArray(), output) != 0);
        QCOMPARE(read(output, allWordsStatement()), QStringList{"two"});
        QCOMPARE(QDir(m_dir.path()).entryList({"*.new"}, QDir::Files), QStringList());
    }

    void eachWordGetsTheSmallestClassHoldingIt() {
        const QString output = m_dir.filePath("ranked.mdb");
        // The order of the lists does not matter: the smallest class wins.
        QCOMPARE(run({"70=" + write("large", "aardvark\nthe\nzebra\nZebra\nx1\n"),
                      "35=" + write("small", "the\nzebra\n"), output}),
                 0);
        QCOMPARE(
            read(output,
                 "select Text1 || ' ' || Commonness from Words order by Commonness, Text1 collate binary"),
            (QStringList{"the 35", "zebra 35", "Zebra 70", "aardvark 70"}));
    }

    void shippedWordsLieBesideTheProgram() {
        // Tests are built into the program's folder, so the shipped file lies beside this one too.
        const QString shipped = QCoreApplication::applicationDirPath() + "/words.mdb";
        QVERIFY(QFile::exists(shipped));
        QVERIFY(read(shipped, allWordsStatement()).size() > 50000);
        QCOMPARE(read(shipped, "select Text1 from Words where Text1 = 'hello' and Type1 is null"),
                 QStringList{"hello"});
        QCOMPARE(read(shipped, "select Text1 from Words where Text1 like '%''%' or Type1 is not null"),
                 QStringList());
        // Ranked: the commonest words are SCOWL's smallest list's, and the list reaches rare words too.
        QCOMPARE(read(shipped,
                      "select Commonness from Words where Text1 in ('hello', 'heliacal') collate binary "
                      "order by Text1 desc"),
                 (QStringList{"10", "70"}));
        QCOMPARE(read(shipped, "select count(*) from Words where Commonness is null or Uses is not null or "
                               "Folded is null"),
                 QStringList{"0"});
        QVERIFY(read(shipped, "select Text1 from Words where Commonness = 70").size() > 30000);
    }

private:
    QString write(const QString& name, const QByteArray& bytes) {
        return writeFile(m_dir.filePath(name), bytes);
    }
    // Runs the maker; returns its exit code.
    int run(const QStringList& arguments) {
        QProcess process;
        process.start(QUENLO_MAKEWORDSDB, arguments);
        if (!process.waitForFinished(60000))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    // Runs it on a dictionary of the bytes, or on a missing one when they are null.
    int make(const QByteArray& bytes, const QString& output) {
        QFile::remove(m_dir.filePath("dictionary"));
        return run({bytes.isNull() ? m_dir.filePath("dictionary") : write("dictionary", bytes), output});
    }
    QStringList read(const QString& database, const QString& statement) {
        SqliteConnection connection(database);
        return connection.open() ? column(connection, statement) : QStringList{"<cannot open>"};
    }
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestMakeWordsDb)
#include "tst_makewordsdb.moc"
