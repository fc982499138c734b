// The build-time maker of words.mdb, and the words.mdb the build ships beside the program.
#include "platform/sqliteconnection.h"
#include "store/wordstatements.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestMakeWordsDb : public QObject {
    Q_OBJECT
private slots:
    void keepsWordsOfLettersOnlyAsDefaultWords();
    void replacesAnEarlierFileOnlyWhenItSucceeds();
    void shippedWordsLieBesideTheProgram();

private:
    int make(const QString& dictionary, const QString& output);
    QStringList read(const QString& database, const QString& statement);
    QTemporaryDir m_dir;
};

int TestMakeWordsDb::make(const QString& dictionary, const QString& output) {
    QProcess process;
    process.start(QStringLiteral(QUENLO_MAKEWORDSDB), {dictionary, output});
    if (!process.waitForFinished(60000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QStringList TestMakeWordsDb::read(const QString& database, const QString& statement) {
    SqliteConnection connection(database);
    if (!connection.open())
        return {"<cannot open>"};
    QStringList words;
    auto result = connection.execute(statement);
    for (; result && !result->eof(); result->moveNext())
        words.append(result->text1().value_or("<null>"));
    return words;
}

void TestMakeWordsDb::keepsWordsOfLettersOnlyAsDefaultWords() {
    const QString dictionary = m_dir.filePath("dictionary");
    QFile file(dictionary);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("A\nAaron's\nhello\n\xC3\x85ngstr\xC3\xB6m\nx1\ntwo words\n\nzebra\n");
    file.close();
    const QString output = m_dir.filePath("words.mdb");
    QCOMPARE(make(dictionary, output), 0);
    const QStringList words{"A", "hello", "zebra", "Ångström"};
    QCOMPARE(read(output, allWordsStatement()), words);
    QCOMPARE(read(output, defaultWordsStatement()), words);
    QCOMPARE(read(output, customWordsStatement()), QStringList());
}

void TestMakeWordsDb::replacesAnEarlierFileOnlyWhenItSucceeds() {
    const QString output = m_dir.filePath("again.mdb");
    const QString first = m_dir.filePath("first");
    const QString second = m_dir.filePath("second");
    for (const auto& [path, word] : {std::pair{first, "one"}, std::pair{second, "two"}}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(word);
    }
    QCOMPARE(make(first, output), 0);
    QCOMPARE(make(second, output), 0);
    QCOMPARE(read(output, allWordsStatement()), QStringList{"two"});
    QVERIFY(make(m_dir.filePath("missing"), output) != 0);
    QCOMPARE(read(output, allWordsStatement()), QStringList{"two"});
    QCOMPARE(QDir(m_dir.path()).entryList({"*.new"}, QDir::Files), QStringList());
}

void TestMakeWordsDb::shippedWordsLieBesideTheProgram() {
    // Tests are built into the program's folder, so the shipped file lies beside this one too.
    const QString shipped = QCoreApplication::applicationDirPath() + "/words.mdb";
    QVERIFY(QFile::exists(shipped));
    QVERIFY(read(shipped, allWordsStatement()).size() > 50000);
    QCOMPARE(read(shipped, "select Text1 from Words where Text1 = 'hello' and Type1 is null"),
             QStringList{"hello"});
    QCOMPARE(read(shipped, "select Text1 from Words where Text1 like '%''%' or Type1 is not null"),
             QStringList());
}

QTEST_GUILESS_MAIN(TestMakeWordsDb)
#include "tst_makewordsdb.moc"
